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

}  // namespace kelvane::user
