#pragma once
// The files a stream loads and saves, reached as a page may reach them:
// read inside the site or the data folders, written inside the data folders
// (70 "Permission denied" elsewhere).

#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

namespace kelvane::host::adodb {

// The most bytes a stream holds: its size is a Long.
constexpr std::size_t kMostStreamBytes = std::numeric_limits<std::int32_t>::max();

// The bytes of the file `name`; 3002 when it is no regular file that can be
// read, or holds more than a stream can.
std::string ReadStreamFile(std::string_view name);

// Makes the file `name` hold `bytes`, replacing one that exists only when
// `overwrite` (3004 when it exists otherwise). The file appears whole or not
// at all: the bytes go to a new hidden file beside it that then takes its
// name. 3004 when the file cannot be written.
void WriteStreamFile(std::string_view name, std::string_view bytes, bool overwrite);

}  // namespace kelvane::host::adodb
