#pragma once
// The temporary file a delivery passes the picture through.

#include <ctime>
#include <string>
#include <string_view>

#include "platform/oleaut/Numbers.h"

namespace kelvane::component {

// "ddmmyyyy" of the date, "hhmmss-" of the time, the number, ".tmp": on
// 7 December 2026 at 06:33:00 with 7, "07122026063300-7.tmp".
std::string TemporaryFileName(const std::tm& when, oleaut::Long number);

// True for a name TemporaryFileName makes: fourteen digits, '-', a number
// of up to ten digits, ".tmp".
bool IsTemporaryFileName(std::string_view name);

}  // namespace kelvane::component
