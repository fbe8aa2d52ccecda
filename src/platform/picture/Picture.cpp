#include "platform/picture/Picture.h"

namespace kelvane::picture {

Picture::~Picture() {
  if (owns_ && handle_ != 0) gdi::DeleteObject(handle_);
}

}  // namespace kelvane::picture
