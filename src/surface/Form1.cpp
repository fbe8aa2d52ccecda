#include "surface/Form1.h"

#include <memory>

#include "platform/gdi/Objects.h"
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

const PictureBox::Design kPlot = Box(300, 300, 1);
const PictureBox::Design kHolder = Box(70, 63, 0);

// The built-in logo, decoded once for the process. Every thread's Logo box
// shows this one bitmap, which nothing draws on.
picture::PictureRef LogoPicture() {
  static const std::shared_ptr<gdi::Bitmap> decoded =
      gdi::FindBitmap(picture::LoadPictureFromMemory(LogoJpeg())->get_Handle());
  return std::make_shared<picture::Picture>(gdi::AddObject(decoded), true);
}

thread_local std::unique_ptr<Form1> threadForm;

}  // namespace

Form1::Form1(Key) : Plot(kPlot), Logo(kHolder), tPict(kHolder) {
  Logo.putref_Picture(LogoPicture());
}

Form1& Form1::ForThread() {
  if (!threadForm) threadForm = std::make_unique<Form1>(Key());
  return *threadForm;
}

void Form1::RenewForThread() {
  if (!threadForm) return;
  threadForm->Plot.Reset(kPlot);
  threadForm->tPict.Reset(kHolder);
}

}  // namespace kelvane::surface
