#pragma once
// The runtime's RGB: a colour 0x00BBGGRR from its parts.

#include "platform/oleaut/Numbers.h"

namespace kelvane::oleaut {

// Each part is clamped to 0 to 255, so any parts give a defined colour.
constexpr Long RGB(Integer red, Integer green, Integer blue) {
  const auto clamp = [](Integer part) { return part < 0 ? 0 : part > 255 ? 255 : Long{part}; };
  return clamp(red) | (clamp(green) << 8) | (clamp(blue) << 16);
}

}  // namespace kelvane::oleaut
