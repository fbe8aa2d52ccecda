#pragma once
// The objects behind GDI handles. Drawing code inside the platform works on
// these directly, so that a call resolves its handles once and then touches
// pixel memory without further lookups.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

#include "platform/gdi/Gdi.h"
#include "platform/memory/PageMemory.h"

using PangoFontDescription = struct _PangoFontDescription;

namespace kelvane::gdi {

enum class ObjectKind { Bitmap, Brush, Pen, Font, DC };

class GdiObject {
 public:
  explicit GdiObject(ObjectKind kind) : kind_(kind) {}
  virtual ~GdiObject() = default;
  GdiObject(const GdiObject&) = delete;
  GdiObject& operator=(const GdiObject&) = delete;

  ObjectKind Kind() const { return kind_; }

 private:
  ObjectKind kind_;
};

// Bytes per scan line for `width` pixels of `bitsPerPixel`, rounded up to
// whole 32-bit words; nullopt for a negative width or when the line would
// not fit in 32 bits.
std::optional<std::int32_t> StrideFor(std::int64_t width, int bitsPerPixel);

enum class PixelFormat {
  Bgrx32,  // the screen's: blue, green, red, unused (a picture with alpha
           // keeps its premultiplied alpha there); rows top-down
  Bgr24,   // device-independent: blue, green, red; rows bottom-up or top-down
};

class Bitmap : public GdiObject {
 public:
  // A zero-filled bitmap; nullptr for a negative size, a size beyond the
  // pixel limits, or no memory (the running page's limit included).
  static std::shared_ptr<Bitmap> Create(std::int32_t width, std::int32_t height,
                                        PixelFormat format, bool bottomUp);

  std::int32_t Width() const { return width_; }
  std::int32_t Height() const { return height_; }
  std::int32_t Stride() const { return stride_; }
  PixelFormat Format() const { return format_; }
  bool BottomUp() const { return bottomUp_; }
  int BytesPerPixel() const { return format_ == PixelFormat::Bgrx32 ? 4 : 3; }
  std::uint8_t* Bits() { return bits_.get(); }
  const std::uint8_t* Bits() const { return bits_.get(); }
  // Hands the pixel memory's charge from the calling thread's page to the
  // process (see memory::ChargedBytes::Uncharge).
  void Uncharge() noexcept { bits_.Uncharge(); }
  // The first byte of picture row y, counted from the top.
  std::uint8_t* Row(std::int32_t y) {
    return bits_.get() + static_cast<std::ptrdiff_t>(Line(y)) * stride_;
  }
  const std::uint8_t* Row(std::int32_t y) const {
    return bits_.get() + static_cast<std::ptrdiff_t>(Line(y)) * stride_;
  }

 private:
  std::int32_t Line(std::int32_t y) const { return bottomUp_ ? height_ - 1 - y : y; }
  Bitmap(std::int32_t width, std::int32_t height, std::int32_t stride, PixelFormat format,
         bool bottomUp, memory::ChargedBytes bits);

  std::int32_t width_;
  std::int32_t height_;
  std::int32_t stride_;
  PixelFormat format_;
  bool bottomUp_;
  memory::ChargedBytes bits_;  // charged to the page that made the bitmap
};

enum class BrushStyle { Solid, Null, Hatched };

class Brush : public GdiObject {
 public:
  Brush(BrushStyle brushStyle, COLORREF brushColor, int hatchStyle)
      : GdiObject(ObjectKind::Brush), style(brushStyle), color(brushColor), hatch(hatchStyle) {}
  const BrushStyle style;
  const COLORREF color;
  const int hatch;  // HatchStyle when style is Hatched
};

class Pen : public GdiObject {
 public:
  Pen(int penStyle, std::int32_t penWidth, COLORREF penColor)
      : GdiObject(ObjectKind::Pen), style(penStyle), width(penWidth), color(penColor) {}
  const int style;
  const std::int32_t width;
  const COLORREF color;
};

// A font: its request and the description that text layout uses, made once.
class Font : public GdiObject {
 public:
  explicit Font(const LOGFONTA& request);
  ~Font() override;
  const LOGFONTA request;
  PangoFontDescription* const description;
};

// A memory device context: the objects selected into it, with their handles
// so that SelectObject can answer the one it replaces.
class DeviceContext : public GdiObject {
 public:
  DeviceContext() : GdiObject(ObjectKind::DC) {}

  template <class T>
  struct Selected {
    HGDIOBJ handle = 0;
    std::shared_ptr<T> object;
  };

  Selected<Bitmap> bitmap;
  Selected<Brush> brush;
  Selected<Pen> pen;
  Selected<Font> font;
  COLORREF textColor = 0;
  std::int32_t currentX = 0;  // the current position of MoveToEx and LineTo
  std::int32_t currentY = 0;
};

// Resolves handles to objects of one kind; nullptr for a handle that is
// unknown, deleted or of another kind.
std::shared_ptr<DeviceContext> FindDC(HDC hdc);
std::shared_ptr<Bitmap> FindBitmap(HBITMAP bitmap);
std::shared_ptr<Brush> FindBrush(HBRUSH brush);
std::shared_ptr<Pen> FindPen(HGDIOBJ pen);
std::shared_ptr<Font> FindFont(HFONT font);

// Registers an object under a new handle, in the calling thread's table.
HGDIOBJ AddObject(std::shared_ptr<GdiObject> object);
// Makes the calling thread's object `handle` reachable from every thread,
// under the same handle; false for a stock object or one the thread lacks.
bool ShareObject(HGDIOBJ handle);

// Packs a colour into one pixel of the screen's format.
constexpr std::uint32_t PixelFromColor(COLORREF c) {
  return (static_cast<std::uint32_t>(GetRValue(c)) << 16) |
         (static_cast<std::uint32_t>(GetGValue(c)) << 8) | GetBValue(c);
}

}  // namespace kelvane::gdi
