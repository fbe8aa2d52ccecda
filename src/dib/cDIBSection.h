#pragma once
// cDIBSection: one 24-bit device-independent bitmap section with its own
// memory device context, so that the same pixels can be drawn on with GDI
// and read or written in place. The pixel memory is Height() scan lines of
// BytesPerScanLine() bytes, (3 x Width() + 3) with the two low bits cleared,
// each pixel blue, green, red, the bottom line of the picture first.
// GDI failures are answers (False) or quiet stops, never errors.

#include <cstdint>
#include <memory>

#include "platform/gdi/Gdi.h"
#include "platform/oleaut/Numbers.h"
#include "platform/oleaut/Variant.h"
#include "platform/picture/Picture.h"

namespace kelvane::dib {

using oleaut::Long;
using oleaut::VariantBool;

class cDIBSection {
 public:
  cDIBSection() = default;
  ~cDIBSection() { ClearUp(); }
  cDIBSection(const cDIBSection&) = delete;
  cDIBSection& operator=(const cDIBSection&) = delete;

  // Puts a copy of the picture on the clipboard as a bitmap of the screen's
  // format; True when the clipboard took it. A copy as DIB is refused with a
  // message (to the host's log) and False.
  VariantBool CopyToClipboard(VariantBool bAsDIB);
  // Writes the header for lWidth x lHeight and makes the section; True when
  // made. 6 when the image size passes the 32-bit range.
  VariantBool CreateDIB(gdi::HDC lhDC, Long lWidth, Long lHeight, gdi::HBITMAP& hDib);
  // Makes a section of the picture's size and copies the picture into it;
  // stops quietly when anything cannot be made.
  void CreateFromPicture(const picture::PictureRef& picThis);
  // Releases what the object holds, then makes a section with its own
  // context; True when both were made, else the object is left empty.
  VariantBool Create(Long lWidth, Long lHeight);
  // Bytes a scan line; 6 when 3 x Width() + 3 passes the 32-bit range.
  Long BytesPerScanLine() const;
  Long Width() const { return m_tBI.bmiHeader.biWidth; }
  Long Height() const { return m_tBI.bmiHeader.biHeight; }
  // Copies a block of lhDC, from (lSrcLeft, lSrcTop), to the section's
  // top-left corner; a negative width or height stands for the section's.
  void LoadPictureBlt(gdi::HDC lhDC, Long lSrcLeft, Long lSrcTop, Long lSrcWidth,
                      Long lSrcHeight, gdi::DWORD eRop);
  // Copies a block of the section, from (lSrcLeft, lSrcTop), to lhDC at
  // (lDestLeft, lDestTop); a negative width or height stands for the section's.
  void PaintPicture(gdi::HDC lhDC, Long lDestLeft, Long lDestTop, Long lDestWidth,
                    Long lDestHeight, Long lSrcLeft, Long lSrcTop, gdi::DWORD eRop);
  gdi::HDC hdc() const { return m_hDC; }
  gdi::HBITMAP hDib() const { return m_hDib; }
  std::uint8_t* DIBSectionBitsPtr() const { return m_lPtr; }
  // Fills the pixels with noise, re-seeded from the time of day: grey (the
  // three bytes of a pixel equal, line by line) or colour (blue 0, green
  // and red drawn afresh, column by column). Padding is never written; 6
  // when 3 x (Width() - 1) passes the 32-bit range.
  void RandomiseBits(VariantBool bGray);
  // Releases the section and the context; the size stays as it was.
  void ClearUp();
  // A new section of the given size (height first), resampled from this one
  // by bilinear interpolation; the same size copies. nullptr when the new
  // section cannot be made; 5 for a new size of 0 or below or a top-down
  // source; 9 for a source 1 pixel wide or high whose size changes. This
  // section never changes.
  std::unique_ptr<cDIBSection> Resample(Long lNewHeight, Long lNewWidth);

  // The header the last CreateDIB wrote.
  const gdi::BITMAPINFOHEADER& Header() const { return m_tBI.bmiHeader; }

 private:
  // Writes the bilinear interpolation of this section into `target`'s pixel
  // memory, every byte index checked against both sections (9 outside).
  void ResampleInto(cDIBSection& target) const;

  gdi::HBITMAP m_hDib = 0;     // the section
  gdi::HGDIOBJ m_hBmpOld = 0;  // what the context held before the section
  gdi::HDC m_hDC = 0;          // the memory context, the section selected
  std::uint8_t* m_lPtr = nullptr;
  gdi::BITMAPINFO m_tBI{};
};

}  // namespace kelvane::dib
