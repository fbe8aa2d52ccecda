// The process-wide table from handles to objects. Handles count up from a
// base and are never reused, so a stale handle finds nothing instead of
// another object.

#include <mutex>
#include <unordered_map>

#include "platform/gdi/Objects.h"

namespace kelvane::gdi {

namespace {

class HandleTable {
 public:
  HGDIOBJ Add(std::shared_ptr<GdiObject> object) {
    std::lock_guard lock(mutex_);
    next_ += 4;
    objects_.emplace(next_, std::move(object));
    return next_;
  }

  std::shared_ptr<GdiObject> Find(HGDIOBJ handle) const {
    std::lock_guard lock(mutex_);
    const auto it = objects_.find(handle);
    return it == objects_.end() ? nullptr : it->second;
  }

  std::shared_ptr<GdiObject> Remove(HGDIOBJ handle) {
    std::lock_guard lock(mutex_);
    const auto it = objects_.find(handle);
    if (it == objects_.end()) return nullptr;
    auto object = std::move(it->second);
    objects_.erase(it);
    return object;
  }

 private:
  mutable std::mutex mutex_;
  HGDIOBJ next_ = 0x10000;
  std::unordered_map<HGDIOBJ, std::shared_ptr<GdiObject>> objects_;
};

HandleTable& Table() {
  static HandleTable table;
  return table;
}

template <class T>
std::shared_ptr<T> FindOfKind(HGDIOBJ handle, ObjectKind kind) {
  auto object = Table().Find(handle);
  if (!object || object->Kind() != kind) return nullptr;
  return std::static_pointer_cast<T>(std::move(object));
}

struct StockObjects {
  HBRUSH white = AddObject(std::make_shared<Brush>(BrushStyle::Solid, RGB(255, 255, 255), 0));
  HBRUSH black = AddObject(std::make_shared<Brush>(BrushStyle::Solid, RGB(0, 0, 0), 0));
  HBRUSH null = AddObject(std::make_shared<Brush>(BrushStyle::Null, 0, 0));
  HGDIOBJ blackPen = AddObject(std::make_shared<Pen>(PS_SOLID, 1, RGB(0, 0, 0)));
  HGDIOBJ nullPen = AddObject(std::make_shared<Pen>(PS_NULL, 1, 0));
  HFONT guiFont = AddObject(std::make_shared<Font>(LOGFONTA{-11, FW_NORMAL, 0, 0, "sans-serif"}));
  HBITMAP defaultBitmap = AddObject(Bitmap::Create(1, 1, PixelFormat::Bgrx32, false));

  bool Contains(HGDIOBJ h) const {
    return h == white || h == black || h == null || h == blackPen || h == nullPen ||
           h == guiFont || h == defaultBitmap;
  }
};

const StockObjects& Stock() {
  static const StockObjects stock;
  return stock;
}

}  // namespace

HGDIOBJ AddObject(std::shared_ptr<GdiObject> object) {
  return object ? Table().Add(std::move(object)) : 0;
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
    case WHITE_BRUSH: return Stock().white;
    case BLACK_BRUSH: return Stock().black;
    case NULL_BRUSH: return Stock().null;
    case BLACK_PEN: return Stock().blackPen;
    case NULL_PEN: return Stock().nullPen;
    case DEFAULT_GUI_FONT: return Stock().guiFont;
    default: return 0;
  }
}

HDC CreateCompatibleDC(HDC hdc) {
  if (hdc != 0 && !FindDC(hdc)) return 0;
  auto dc = std::make_shared<DeviceContext>();
  dc->bitmap = {Stock().defaultBitmap, FindBitmap(Stock().defaultBitmap)};
  dc->brush = {Stock().white, FindBrush(Stock().white)};
  dc->pen = {Stock().blackPen, FindPen(Stock().blackPen)};
  dc->font = {Stock().guiFont, FindFont(Stock().guiFont)};
  return AddObject(std::move(dc));
}

HGDIOBJ SelectObject(HDC hdc, HGDIOBJ object) {
  const auto dc = FindDC(hdc);
  const auto found = Table().Find(object);
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
  if (Stock().Contains(object)) return TRUE;
  const auto found = Table().Find(object);
  if (!found || found->Kind() == ObjectKind::DC) return FALSE;
  return Table().Remove(object) ? TRUE : FALSE;
}

BOOL DeleteDC(HDC hdc) {
  if (!FindDC(hdc)) return FALSE;
  return Table().Remove(hdc) ? TRUE : FALSE;
}

}  // namespace kelvane::gdi
