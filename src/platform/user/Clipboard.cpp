#include "platform/user/Clipboard.h"

#include <mutex>
#include <thread>

#include "platform/gdi/Objects.h"

namespace kelvane::user {

namespace {

struct ClipboardState {
  std::mutex mutex;
  std::thread::id openBy;  // no thread: closed
  HANDLE bitmap = 0;
};

ClipboardState& State() {
  static ClipboardState state;
  return state;
}

bool OpenedByCaller(const ClipboardState& state) {
  return state.openBy == std::this_thread::get_id();
}

}  // namespace

gdi::BOOL OpenClipboard(HWND) {
  ClipboardState& state = State();
  const std::lock_guard lock(state.mutex);
  if (state.openBy != std::thread::id() && !OpenedByCaller(state)) return gdi::FALSE;
  state.openBy = std::this_thread::get_id();
  return gdi::TRUE;
}

gdi::BOOL EmptyClipboard() {
  ClipboardState& state = State();
  const std::lock_guard lock(state.mutex);
  if (!OpenedByCaller(state)) return gdi::FALSE;
  if (state.bitmap != 0) gdi::DeleteObject(state.bitmap);
  state.bitmap = 0;
  return gdi::TRUE;
}

HANDLE SetClipboardData(unsigned format, HANDLE data) {
  ClipboardState& state = State();
  const std::lock_guard lock(state.mutex);
  if (!OpenedByCaller(state) || format != CF_BITMAP || data == 0) return 0;
  if (!gdi::FindBitmap(data)) return 0;
  gdi::ShareObject(data);  // the clipboard's data is every thread's
  if (state.bitmap != 0 && state.bitmap != data) gdi::DeleteObject(state.bitmap);
  state.bitmap = data;
  return data;
}

HANDLE GetClipboardData(unsigned format) {
  ClipboardState& state = State();
  const std::lock_guard lock(state.mutex);
  if (!OpenedByCaller(state) || format != CF_BITMAP) return 0;
  return state.bitmap;
}

gdi::BOOL CloseClipboard() {
  ClipboardState& state = State();
  const std::lock_guard lock(state.mutex);
  if (!OpenedByCaller(state)) return gdi::FALSE;
  state.openBy = std::thread::id();
  return gdi::TRUE;
}

}  // namespace kelvane::user
