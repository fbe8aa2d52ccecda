#include "host/http/HiddenNames.h"

#include <algorithm>
#include <array>

#include "host/http/OptionList.h"
#include "host/pages/PageEngine.h"
#include "platform/oleaut/Dispatch.h"

namespace kelvane::host {

namespace {

// What editors leave beside the files they edit.
bool IsLeftover(std::string_view folded) {
  constexpr std::array<std::string_view, 5> kLeftovers{".bak", ".swp", ".swo", ".orig", ".tmp"};
  return folded.ends_with('~') ||
         (folded.size() > 1 && folded.front() == '#' && folded.back() == '#') ||
         std::ranges::any_of(kLeftovers, [&](std::string_view ending) { return folded.ends_with(ending); });
}

}  // namespace

std::optional<HiddenNames> HiddenNames::Parse(std::string_view list) {
  HiddenNames hidden{Nothing{}};
  for (const std::string_view entry : ListEntries(list)) {
    if (entry == "*" || entry.find('/') != std::string_view::npos) return std::nullopt;
    if (entry.starts_with('*'))
      hidden.endings_.push_back(oleaut::FoldCase(entry.substr(1)));
    else
      hidden.names_.push_back(oleaut::FoldCase(entry));
  }
  return hidden;
}

bool HiddenNames::Hides(std::string_view name) const {
  if (name.starts_with('.')) return true;
  const std::string_view trimmed = name.substr(0, name.find_last_not_of(". ") + 1);
  const std::string folded = oleaut::FoldCase(trimmed);
  return IsLeftover(folded) || std::ranges::find(names_, folded) != names_.end() ||
         std::ranges::any_of(endings_, [&](const std::string& ending) { return folded.ends_with(ending); }) ||
         (trimmed.size() != name.size() && IsPageFile(std::string(trimmed)));
}

bool HiddenNames::HidesAnyPart(const std::filesystem::path& path) const {
  return std::ranges::any_of(path, [&](const std::filesystem::path& part) { return Hides(part.native()); });
}

}  // namespace kelvane::host
