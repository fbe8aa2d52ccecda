#include "platform/user/Desktop.h"

namespace kelvane::user {

namespace {

constexpr HWND kDesktop = 0x10010;

}  // namespace

HWND GetDesktopWindow() { return kDesktop; }

gdi::HDC GetDC(HWND window) {
  if (window != 0 && window != kDesktop) return 0;
  return gdi::CreateCompatibleDC(0);
}

int ReleaseDC(HWND window, gdi::HDC hdc) {
  if (window != 0 && window != kDesktop) return 0;
  return gdi::DeleteDC(hdc) ? 1 : 0;
}

}  // namespace kelvane::user
