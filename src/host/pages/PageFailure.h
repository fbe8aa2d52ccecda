#pragma once
// What made a page fail, as both languages tell it: the error's source,
// number and description, and where it happened.

#include <cstdint>
#include <optional>
#include <string>

namespace kelvane::host {

struct PageFailure {
  std::string source;                  // "VBScript runtime error", "Kelvane", "Lua", ...
  std::optional<std::int32_t> number;  // none for a page stopped at its time limit, and
                                       // for a Lua error that is no automation error
  std::string description;
  std::string file;  // the file where it happened, site-relative, '/' separated; empty:
                     // not known
  int line = 0;      // 1-based; 0: not known
  std::string page;  // the name of the page that was run

  // "source: ...\nnumber: ...\ndescription: ...\nat: FILE:LINE\npage: ...\n",
  // without the lines of what is not known.
  std::string Text() const {
    std::string text = "source: " + source + "\n";
    if (number) text += "number: " + std::to_string(*number) + "\n";
    text += "description: " + description + "\n";
    if (!file.empty()) text += "at: " + file + (line > 0 ? ":" + std::to_string(line) : "") + "\n";
    return text + "page: " + page + "\n";
  }
};

}  // namespace kelvane::host
