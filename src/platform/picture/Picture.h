#pragma once
// Picture objects: a bitmap with a handle, as picture boxes hand them out
// and take them in.

#include <memory>

#include "platform/gdi/Gdi.h"
#include "platform/oleaut/Variant.h"

namespace kelvane::picture {

class Picture : public oleaut::IUnknown {
 public:
  // Wraps `bitmap`; an owning picture deletes the bitmap when it goes. A
  // picture with alpha holds premultiplied blue, green, red, alpha pixels,
  // to be composed over what lies under it.
  Picture(gdi::HBITMAP bitmap, bool owns, bool hasAlpha = false)
      : handle_(bitmap), owns_(owns), hasAlpha_(hasAlpha) {}
  ~Picture() override;
  Picture(const Picture&) = delete;
  Picture& operator=(const Picture&) = delete;

  // The bitmap handle; 0 for an empty picture.
  gdi::HBITMAP get_Handle() const { return handle_; }
  bool HasAlpha() const { return hasAlpha_; }

 private:
  gdi::HBITMAP handle_;
  bool owns_;
  bool hasAlpha_;
};

using PictureRef = std::shared_ptr<Picture>;

}  // namespace kelvane::picture
