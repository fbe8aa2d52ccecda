#include "component/Image.h"

#include "platform/oleaut/AutomationError.h"
#include "platform/oleaut/Conversion.h"
#include "surface/Form1.h"

namespace kelvane::component {

std::atomic<long> Image::liveObjects_{0};

namespace {

// Image objects alive on this thread. Objects live and die on the thread
// that made them, so a plain per-thread count serves.
thread_local long liveOnThread = 0;

}  // namespace

Image::Image() {
  // The first object on a thread starts from a fresh surface, so that one
  // request never sees what another drew; objects alive together share it.
  if (liveOnThread++ == 0) surface::Form1::RenewForThread();
  ++liveObjects_;
}

Image::~Image() {
  --liveOnThread;
  --liveObjects_;
}

Variant Image::Reference(const Variant& v) { return Variant(oleaut::ToObject(v)); }

void Image::Activate() {
  CurrentContext = complus::GetObjectContext();
  if (!CurrentContext) oleaut::RaiseRuntimeError(oleaut::kObjectNotSet);
  const Variant item = CurrentContext->get_Item("Response");
  if (item.IsEmpty()) return;  // outside a request: SendImage will fail with 91
  auto response = std::dynamic_pointer_cast<asp::Response>(oleaut::ToObject(item));
  if (!response) oleaut::RaiseRuntimeError(oleaut::kTypeMismatch);
  CurrentResponse = std::move(response);
}

void Image::Deactivate() {
  CurrentContext.reset();
  CurrentResponse.reset();
}

void Image::DropValues() noexcept {
  for (Variant* setting : {&PenColor_, &PenStyle_, &PenWidth_, &PlotFillColor_, &PlotFillStyle_, &PlotFontSize_,
                           &PlotHeight_, &PlotFontName_, &PlotFontBold_, &PlotFontItalic_}) {
    Variant dying = std::move(*setting);
    *setting = Variant();
  }
}


}  // namespace kelvane::component
