#include "dib/cDIBSection.h"

#include "platform/gdi/UniqueHandle.h"
#include "platform/oleaut/AutomationError.h"
#include "platform/user/Desktop.h"

namespace kelvane::dib {

using oleaut::CheckedAdd;
using oleaut::CheckedMul;

VariantBool cDIBSection::CreateDIB(gdi::HDC lhDC, Long lWidth, Long lHeight, gdi::HBITMAP& hDib) {
  gdi::BITMAPINFOHEADER& header = m_tBI.bmiHeader;
  header.biSize = sizeof(gdi::BITMAPINFOHEADER);
  header.biWidth = lWidth;
  header.biHeight = lHeight;
  header.biPlanes = 1;
  header.biBitCount = 24;
  header.biCompression = gdi::BI_RGB;
  header.biSizeImage = static_cast<std::uint32_t>(CheckedMul(header.biHeight, BytesPerScanLine()));
  void* bits = nullptr;
  hDib = gdi::CreateDIBSection(lhDC, &m_tBI, gdi::DIB_RGB_COLORS, &bits, 0, 0);
  m_lPtr = static_cast<std::uint8_t*>(bits);
  return oleaut::ToVariantBool(hDib != 0);
}

VariantBool cDIBSection::Create(Long lWidth, Long lHeight) {
  ClearUp();
  m_hDC = gdi::CreateCompatibleDC(0);
  if (m_hDC == 0) return VariantBool::False;
  VariantBool made = VariantBool::False;
  try {
    made = CreateDIB(m_hDC, lWidth, lHeight, m_hDib);
  } catch (...) {
    // Keep the object whole: a context without its section is released.
    gdi::DeleteDC(m_hDC);
    m_hDC = 0;
    throw;
  }
  if (oleaut::IsTrue(made)) {
    m_hBmpOld = gdi::SelectObject(m_hDC, m_hDib);
    return VariantBool::True;
  }
  gdi::DeleteDC(m_hDC);
  m_hDC = 0;
  return VariantBool::False;
}

void cDIBSection::CreateFromPicture(const picture::PictureRef& picThis) {
  const gdi::HBITMAP picture = picThis ? picThis->get_Handle() : 0;
  gdi::BITMAP record{};
  gdi::GetObjectA(picture, sizeof(record), &record);
  if (!oleaut::IsTrue(Create(record.bmWidth, record.bmHeight))) return;

  gdi::UniqueDC memory;
  {
    const user::WindowDC screen(user::GetDesktopWindow());
    if (screen.get() != 0) memory.reset(gdi::CreateCompatibleDC(screen.get()));
  }
  if (!memory) return;
  const gdi::HGDIOBJ kept = gdi::SelectObject(memory.get(), picThis->get_Handle());
  LoadPictureBlt(memory.get(), 0, 0, -1, -1, gdi::SRCCOPY);
  gdi::SelectObject(memory.get(), kept);
}

Long cDIBSection::BytesPerScanLine() const {
  return CheckedAdd(CheckedMul(Long{3}, m_tBI.bmiHeader.biWidth), Long{3}) & ~Long{3};
}

void cDIBSection::LoadPictureBlt(gdi::HDC lhDC, Long lSrcLeft, Long lSrcTop, Long lSrcWidth,
                                 Long lSrcHeight, gdi::DWORD eRop) {
  const Long width = lSrcWidth < 0 ? Width() : lSrcWidth;
  const Long height = lSrcHeight < 0 ? Height() : lSrcHeight;
  gdi::BitBlt(m_hDC, 0, 0, width, height, lhDC, lSrcLeft, lSrcTop, eRop);
}

void cDIBSection::PaintPicture(gdi::HDC lhDC, Long lDestLeft, Long lDestTop, Long lDestWidth,
                               Long lDestHeight, Long lSrcLeft, Long lSrcTop, gdi::DWORD eRop) {
  const Long width = lDestWidth < 0 ? Width() : lDestWidth;
  const Long height = lDestHeight < 0 ? Height() : lDestHeight;
  gdi::BitBlt(lhDC, lDestLeft, lDestTop, width, height, m_hDC, lSrcLeft, lSrcTop, eRop);
}

void cDIBSection::ClearUp() {
  if (m_hDC != 0) {
    if (m_hDib != 0) {
      gdi::SelectObject(m_hDC, m_hBmpOld);
      gdi::DeleteObject(m_hDib);
    }
    gdi::DeleteDC(m_hDC);
  }
  m_hDC = 0;
  m_hDib = 0;
  m_hBmpOld = 0;
  m_lPtr = nullptr;
}

}  // namespace kelvane::dib
