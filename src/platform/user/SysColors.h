#pragma once
// The system colours of a standard server desktop.

#include "platform/gdi/Gdi.h"

namespace kelvane::user {

constexpr int COLOR_WINDOW = 5;
constexpr int COLOR_WINDOWTEXT = 8;
constexpr int COLOR_INFOBK = 24;  // the last system colour index

// The colour of system colour `index` (0 to COLOR_INFOBK); 0 for any other.
gdi::COLORREF GetSysColor(int index);

}  // namespace kelvane::user
