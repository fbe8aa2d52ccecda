#include "surface/Form1.h"

#include <memory>

#include "platform/picture/LoadPicture.h"
#include "surface/Logo.h"

namespace kelvane::surface {

namespace {

constexpr Long kWindowBackground = static_cast<Long>(0x80000005u);
constexpr Long kWindowText = static_cast<Long>(0x80000008u);
constexpr Integer kTransparent = 1;

PictureBox::Design Box(Long width, Long height, Long border) {
  return {width, height, border, kWindowBackground, kWindowText, kTransparent, "sans-serif", 8.0f};
}

thread_local std::unique_ptr<Form1> threadForm;

}  // namespace

Form1::Form1(Key) : Plot(Box(300, 300, 1)), Logo(Box(70, 63, 0)), tPict(Box(70, 63, 0)) {
  Logo.putref_Picture(picture::LoadPictureFromMemory(LogoJpeg()));
}

Form1& Form1::ForThread() {
  if (!threadForm) threadForm = std::make_unique<Form1>(Key());
  return *threadForm;
}

void Form1::DiscardForThread() { threadForm.reset(); }

}  // namespace kelvane::surface
