#include "platform/user/SysColors.h"

#include <array>

namespace kelvane::user {

using gdi::RGB;

gdi::COLORREF GetSysColor(int index) {
  static constexpr std::array<gdi::COLORREF, COLOR_INFOBK + 1> colors = {
      RGB(212, 208, 200),  // scroll bar
      RGB(58, 110, 165),   // desktop
      RGB(10, 36, 106),    // active caption
      RGB(128, 128, 128),  // inactive caption
      RGB(212, 208, 200),  // menu
      RGB(255, 255, 255),  // window background
      RGB(0, 0, 0),        // window frame
      RGB(0, 0, 0),        // menu text
      RGB(0, 0, 0),        // window text
      RGB(255, 255, 255),  // caption text
      RGB(212, 208, 200),  // active border
      RGB(212, 208, 200),  // inactive border
      RGB(128, 128, 128),  // application workspace
      RGB(10, 36, 106),    // highlight
      RGB(255, 255, 255),  // highlighted text
      RGB(212, 208, 200),  // button face
      RGB(128, 128, 128),  // button shadow
      RGB(128, 128, 128),  // grey text
      RGB(0, 0, 0),        // button text
      RGB(212, 208, 200),  // inactive caption text
      RGB(255, 255, 255),  // button highlight
      RGB(64, 64, 64),     // 3-D dark shadow
      RGB(212, 208, 200),  // 3-D light
      RGB(0, 0, 0),        // tooltip text
      RGB(255, 255, 225),  // tooltip background
  };
  if (index < 0 || index > COLOR_INFOBK) return 0;
  return colors[static_cast<std::size_t>(index)];
}

}  // namespace kelvane::user
