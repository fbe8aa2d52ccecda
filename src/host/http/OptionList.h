#pragma once
// The entries of a list that an option gives, such as "10.0.0.7, ::1" or
// "*.inc web.config": separated by commas or blanks, none empty.

#include <algorithm>
#include <string_view>
#include <vector>

namespace kelvane::host {

inline std::vector<std::string_view> ListEntries(std::string_view list) {
  constexpr std::string_view kSeparators = ", \t";
  std::vector<std::string_view> entries;
  for (std::size_t start = list.find_first_not_of(kSeparators); start != std::string_view::npos;
       start = list.find_first_not_of(kSeparators, start)) {
    const std::size_t end = std::min(list.find_first_of(kSeparators, start), list.size());
    entries.push_back(list.substr(start, end - start));
    start = end;
  }
  return entries;
}

}  // namespace kelvane::host
