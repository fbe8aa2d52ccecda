#pragma once
// Turns a .ksp page into Lua: text outside <% %> becomes a write of that
// text, <% code %> stays as it is, <%= expression %> becomes a write of the
// expression's value. Every page line stays on the same Lua line, so errors
// name the page's own line numbers.

#include <optional>
#include <string>
#include <string_view>

namespace kelvane::host {

struct TranslatedPage {
  std::string lua;
  std::string error;  // empty, or why the page cannot be translated
};

// Writes go through the function named `writer`.
TranslatedPage TranslatePage(std::string_view page, std::string_view writer);

}  // namespace kelvane::host
