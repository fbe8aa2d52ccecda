#pragma once
// Picture objects: a bitmap with a handle, as picture boxes hand them out
// and take them in.

#include <memory>

#include "platform/gdi/Gdi.h"
#include "platform/oleaut/Variant.h"

namespace kelvane::picture {

class Picture : public oleaut::IUnknown {
 public:
  // Wraps `bitmap`; an owning picture deletes the bitmap when it goes.
  Picture(gdi::HBITMAP bitmap, bool owns) : handle_(bitmap), owns_(owns) {}
  ~Picture() override;
  Picture(const Picture&) = delete;
  Picture& operator=(const Picture&) = delete;

  // The bitmap handle; 0 for an empty picture.
  gdi::HBITMAP get_Handle() const { return handle_; }

 private:
  gdi::HBITMAP handle_;
  bool owns_;
};

using PictureRef = std::shared_ptr<Picture>;

}  // namespace kelvane::picture
