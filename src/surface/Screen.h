#pragma once
// The runtime's Screen: what the (off-screen) display measures.

#include "platform/oleaut/Numbers.h"

namespace kelvane::surface {

class Screen {
 public:
  // Twips per pixel of a 96-dpi display: 1440 twips an inch.
  static oleaut::Single get_TwipsPerPixelX() { return 15.0f; }
  static oleaut::Single get_TwipsPerPixelY() { return 15.0f; }
};

}  // namespace kelvane::surface
