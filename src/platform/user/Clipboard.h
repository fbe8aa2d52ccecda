#pragma once
// One clipboard for the whole process, with the Win32 calls. A thread opens
// it, changes it and closes it; while it is open no other thread can open
// it. What it holds belongs to it: emptying it deletes the bitmaps it held.

#include <cstdint>

#include "platform/gdi/Gdi.h"
#include "platform/user/Desktop.h"

namespace kelvane::user {

using HANDLE = std::uintptr_t;
constexpr unsigned CF_BITMAP = 2;

// TRUE when the calling thread now has the clipboard open; FALSE while
// another thread has.
gdi::BOOL OpenClipboard(HWND owner);
// Deletes what the clipboard holds; FALSE unless the caller has it open.
gdi::BOOL EmptyClipboard();
// Hands `data` of `format` to the clipboard, which then owns it; answers
// `data`, or 0 when the caller has not opened it or the format is not
// CF_BITMAP.
HANDLE SetClipboardData(unsigned format, HANDLE data);
// What the clipboard holds in `format`, still owned by it; 0 when nothing,
// or when the caller has not opened it.
HANDLE GetClipboardData(unsigned format);
gdi::BOOL CloseClipboard();

}  // namespace kelvane::user
