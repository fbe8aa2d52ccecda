#include "host/lua/KspTranslator.h"

#include <algorithm>
#include <utility>

namespace kelvane::host {

namespace {

// A Lua long string holding `text` exactly: its level has more '=' than any
// closing bracket inside. Lua drops a newline that opens a long string, so
// `text` must not start with one.
std::string LongString(std::string_view text) {
  std::size_t level = 0;
  for (std::size_t at = text.find(']'); at != std::string_view::npos; at = text.find(']', at + 1)) {
    std::size_t equals = 0;
    while (at + 1 + equals < text.size() && text[at + 1 + equals] == '=') ++equals;
    if (at + 1 + equals < text.size() && text[at + 1 + equals] == ']') level = std::max(level, equals + 1);
  }
  const std::string bar(level, '=');
  std::string literal = "[" + bar + "[";
  literal.append(text);
  literal += "]" + bar + "]";
  return literal;
}

}  // namespace

TranslatedPage TranslatePage(std::string_view page, std::string_view writer) {
  TranslatedPage result;
  std::string& lua = result.lua;
  std::size_t at = 0;
  while (at < page.size()) {
    const std::size_t open = page.find("<%", at);
    std::string_view text = page.substr(at, open == std::string_view::npos ? open : open - at);
    // A leading line break is written as an escape, its line kept by a real
    // line break in the Lua source.
    static constexpr std::pair<std::string_view, std::string_view> kLineBreaks[] = {
        {"\r\n", R"("\r\n")"}, {"\n", R"("\n")"}, {"\r", R"("\r")"}};
    for (const auto& [lineBreak, escaped] : kLineBreaks) {
      if (text.substr(0, lineBreak.size()) != lineBreak) continue;
      lua.append(writer).append("(").append(escaped).append(")\n");
      text.remove_prefix(lineBreak.size());
      break;
    }
    if (!text.empty()) lua.append(writer).append("(").append(LongString(text)).append(") ");
    if (open == std::string_view::npos) break;
    const std::size_t close = page.find("%>", open + 2);
    if (close == std::string_view::npos) {
      const auto line = std::count(page.begin(), page.begin() + static_cast<std::ptrdiff_t>(open), '\n') + 1;
      result.error = "'<%' at line " + std::to_string(line) + " is never closed by '%>'";
      return result;
    }
    std::string_view code = page.substr(open + 2, close - open - 2);
    if (!code.empty() && code.front() == '=') {
      code.remove_prefix(1);
      lua.append(writer).append("(").append(code).append(") ");
    } else {
      // A comment on the block's last line would swallow what follows: end
      // that line (one line of shift, in that case alone).
      const std::string_view last = code.substr(code.rfind('\n') == std::string_view::npos ? 0 : code.rfind('\n'));
      lua.append(code).append(last.find("--") == std::string_view::npos ? " " : "\n");
    }
    at = close + 2;
  }
  return result;
}

}  // namespace kelvane::host
