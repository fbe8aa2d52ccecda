#pragma once
// The desktop window and its device context: a screen of 32-bit pixels.

#include <cstdint>

#include "platform/gdi/Gdi.h"

namespace kelvane::user {

using HWND = std::uintptr_t;

HWND GetDesktopWindow();
// A device context of the screen's format for `window` (the desktop, or 0);
// 0 for any other window. Give it back with ReleaseDC.
gdi::HDC GetDC(HWND window);
// 1 when the context was released, 0 otherwise.
int ReleaseDC(HWND window, gdi::HDC hdc);

// A window's device context from GetDC, given back with ReleaseDC when this
// goes; 0 when GetDC gave none.
class WindowDC {
 public:
  explicit WindowDC(HWND window) : window_(window), dc_(GetDC(window)) {}
  ~WindowDC() {
    if (dc_ != 0) ReleaseDC(window_, dc_);
  }
  WindowDC(const WindowDC&) = delete;
  WindowDC& operator=(const WindowDC&) = delete;

  gdi::HDC get() const { return dc_; }

 private:
  HWND window_;
  gdi::HDC dc_;
};

}  // namespace kelvane::user
