// The tables from handles to objects. Each thread has its own, with its own
// stock objects, so that drawing takes no lock and shares nothing; handles
// count up from one process-wide base and are never reused, so a stale
// handle finds nothing instead of another object. An object that must reach
// other threads (clipboard data) moves to the one shared table, which
// lookups consult, under its lock, only when the thread's own table has no
// such handle.

#include <atomic>
#include <mutex>
#include <unordered_map>

#include "platform/gdi/Objects.h"

namespace kelvane::gdi {

namespace {

using Objects = std::unordered_map<HGDIOBJ, std::shared_ptr<GdiObject>>;

// Stock objects have the same handles on every thread, below the counted ones.
enum StockHandle : HGDIOBJ {
  kWhiteBrush = 0x100,
  kBlackBrush = 0x104,
  kNullBrush = 0x108,
  kBlackPen = 0x10C,
  kNullPen = 0x110,
  kGuiFont = 0x114,
  kDefaultBitmap = 0x118,
};

bool IsStock(HGDIOBJ h) { return h >= kWhiteBrush && h <= kDefaultBitmap && h % 4 == 0; }

HGDIOBJ NextHandle() {
  static std::atomic<HGDIOBJ> next{0x10000};
  return next.fetch_add(4, std::memory_order_relaxed) + 4;
}

// The calling thread's objects, its stock objects among them.
Objects& ThreadObjects() {
  thread_local Objects objects{
      {kWhiteBrush, std::make_shared<Brush>(BrushStyle::Solid, RGB(255, 255, 255), 0)},
      {kBlackBrush, std::make_shared<Brush>(BrushStyle::Solid, RGB(0, 0, 0), 0)},
      {kNullBrush, std::make_shared<Brush>(BrushStyle::Null, 0, 0)},
      {kBlackPen, std::make_shared<Pen>(PS_SOLID, 1, RGB(0, 0, 0))},
      {kNullPen, std::make_shared<Pen>(PS_NULL, 1, 0)},
      {kGuiFont, std::make_shared<Font>(LOGFONTA{-11, FW_NORMAL, 0, 0, "sans-serif"})},
      {kDefaultBitmap, Bitmap::Create(1, 1, PixelFormat::Bgrx32, false)},
  };
  return objects;
}

struct SharedObjects {
  std::mutex mutex;
  Objects objects;
};

SharedObjects& Shared() {
  static SharedObjects shared;
  return shared;
}

std::shared_ptr<GdiObject> Find(HGDIOBJ handle) {
  const Objects& own = ThreadObjects();
  if (const auto it = own.find(handle); it != own.end()) return it->second;
  SharedObjects& shared = Shared();
  const std::lock_guard lock(shared.mutex);
  const auto it = shared.objects.find(handle);
  return it == shared.objects.end() ? nullptr : it->second;
}

bool Remove(HGDIOBJ handle) {
  if (ThreadObjects().erase(handle) != 0) return true;
  SharedObjects& shared = Shared();
  const std::lock_guard lock(shared.mutex);
  return shared.objects.erase(handle) != 0;
}

template <class T>
std::shared_ptr<T> FindOfKind(HGDIOBJ handle, ObjectKind kind) {
  auto object = Find(handle);
  if (!object || object->Kind() != kind) return nullptr;
  return std::static_pointer_cast<T>(std::move(object));
}

}  // namespace

HGDIOBJ AddObject(std::shared_ptr<GdiObject> object) {
  if (!object) return 0;
  const HGDIOBJ handle = NextHandle();
  ThreadObjects().emplace(handle, std::move(object));
  return handle;
}

bool ShareObject(HGDIOBJ handle) {
  Objects& own = ThreadObjects();
  const auto it = own.find(handle);
  if (it == own.end() || IsStock(handle)) return false;
  SharedObjects& shared = Shared();
  const std::lock_guard lock(shared.mutex);
  shared.objects.emplace(handle, std::move(it->second));
  own.erase(it);
  return true;
}

std::shared_ptr<DeviceContext> FindDC(HDC hdc) {
  return FindOfKind<DeviceContext>(hdc, ObjectKind::DC);
}

std::shared_ptr<Bitmap> FindBitmap(HBITMAP bitmap) {
  return FindOfKind<Bitmap>(bitmap, ObjectKind::Bitmap);
}

std::shared_ptr<Brush> FindBrush(HBRUSH brush) {
  return FindOfKind<Brush>(brush, ObjectKind::Brush);
}

std::shared_ptr<Pen> FindPen(HGDIOBJ pen) { return FindOfKind<Pen>(pen, ObjectKind::Pen); }

std::shared_ptr<Font> FindFont(HFONT font) { return FindOfKind<Font>(font, ObjectKind::Font); }

HGDIOBJ GetStockObject(int object) {
  switch (object) {
    case WHITE_BRUSH: return kWhiteBrush;
    case BLACK_BRUSH: return kBlackBrush;
    case NULL_BRUSH: return kNullBrush;
    case BLACK_PEN: return kBlackPen;
    case NULL_PEN: return kNullPen;
    case DEFAULT_GUI_FONT: return kGuiFont;
    default: return 0;
  }
}

HDC CreateCompatibleDC(HDC hdc) {
  if (hdc != 0 && !FindDC(hdc)) return 0;
  auto dc = std::make_shared<DeviceContext>();
  dc->bitmap = {kDefaultBitmap, FindBitmap(kDefaultBitmap)};
  dc->brush = {kWhiteBrush, FindBrush(kWhiteBrush)};
  dc->pen = {kBlackPen, FindPen(kBlackPen)};
  dc->font = {kGuiFont, FindFont(kGuiFont)};
  return AddObject(std::move(dc));
}

HGDIOBJ SelectObject(HDC hdc, HGDIOBJ object) {
  const auto dc = FindDC(hdc);
  const auto found = Find(object);
  if (!dc || !found) return 0;
  const auto swap = [&](auto& slot, auto typed) {
    const HGDIOBJ previous = slot.handle;
    slot = {object, std::move(typed)};
    return previous;
  };
  switch (found->Kind()) {
    case ObjectKind::Bitmap: return swap(dc->bitmap, std::static_pointer_cast<Bitmap>(found));
    case ObjectKind::Brush: return swap(dc->brush, std::static_pointer_cast<Brush>(found));
    case ObjectKind::Pen: return swap(dc->pen, std::static_pointer_cast<Pen>(found));
    case ObjectKind::Font: return swap(dc->font, std::static_pointer_cast<Font>(found));
    case ObjectKind::DC: return 0;
  }
  return 0;
}

BOOL DeleteObject(HGDIOBJ object) {
  if (IsStock(object)) return TRUE;
  const auto found = Find(object);
  if (!found || found->Kind() == ObjectKind::DC) return FALSE;
  return Remove(object) ? TRUE : FALSE;
}

BOOL DeleteDC(HDC hdc) {
  if (!FindDC(hdc)) return FALSE;
  return Remove(hdc) ? TRUE : FALSE;
}

}  // namespace kelvane::gdi
