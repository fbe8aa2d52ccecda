// Filling a section with noise, and copying it to the clipboard.

#include "dib/cDIBSection.h"
#include "platform/gdi/UniqueHandle.h"
#include "platform/oleaut/Random.h"
#include "platform/user/Clipboard.h"
#include "platform/user/MessageBox.h"

namespace kelvane::dib {

namespace {

std::uint8_t NoiseByte() { return static_cast<std::uint8_t>(oleaut::RoundTo<Long>(oleaut::Rnd() * 255.0)); }

}  // namespace

void cDIBSection::RandomiseBits(VariantBool bGray) {
  oleaut::Randomize(oleaut::Timer());
  const Long xEnd = oleaut::CheckedMul(Long{3}, oleaut::CheckedSub(Width(), Long{1}));
  const Long stride = BytesPerScanLine();
  if (m_lPtr == nullptr) return;
  const auto at = [&](Long c, Long r) { return m_lPtr + static_cast<std::ptrdiff_t>(r) * stride + c; };
  if (oleaut::IsTrue(bGray)) {
    for (Long r = 0; r < Height(); ++r)
      for (Long c = 0; c <= xEnd; c += 3) {
        const std::uint8_t v = NoiseByte();
        std::uint8_t* p = at(c, r);
        p[0] = v;
        p[1] = v;
        p[2] = v;
      }
    return;
  }
  for (Long c = 0; c <= xEnd; c += 3)
    for (Long r = 0; r < Height(); ++r) {
      std::uint8_t* p = at(c, r);
      p[0] = 0;
      p[1] = NoiseByte();
      p[2] = NoiseByte();
    }
}

VariantBool cDIBSection::CopyToClipboard(VariantBool bAsDIB) {
  const user::WindowDC screen(user::GetDesktopWindow());
  if (screen.get() == 0) return VariantBool::False;
  const gdi::UniqueDC memory(gdi::CreateCompatibleDC(screen.get()));
  if (!memory) return VariantBool::False;
  VariantBool taken = VariantBool::False;
  if (oleaut::IsTrue(bAsDIB)) {
    user::MessageBoxA("I don't know how to put a DIB on the clipboard! Copy as bitmap instead!!!",
                      user::MB_OK);
  } else if (gdi::UniqueObject bitmap(gdi::CreateCompatibleBitmap(screen.get(), Width(), Height()));
             bitmap) {
    const gdi::HGDIOBJ kept = gdi::SelectObject(memory.get(), bitmap.get());
    PaintPicture(memory.get(), 0, 0, -1, -1, 0, 0, gdi::SRCCOPY);
    gdi::SelectObject(memory.get(), kept);
    if (user::OpenClipboard(0)) {
      user::EmptyClipboard();
      taken = oleaut::ToVariantBool(user::SetClipboardData(user::CF_BITMAP, bitmap.get()) != 0);
      user::CloseClipboard();
    }
    // The clipboard owns a bitmap it took; one it did not take is deleted.
    if (oleaut::IsTrue(taken)) bitmap.release();
  }
  return taken;
}

}  // namespace kelvane::dib
