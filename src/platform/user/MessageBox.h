#pragma once
// Message boxes on a server: there is no one to click, so the message goes
// to the host's log and the box answers at once.

#include <functional>
#include <string_view>

namespace kelvane::user {

constexpr int MB_OK = 0;
constexpr int IDOK = 1;

// Where messages go; standard error until the host says otherwise. Safe to
// call from several threads; the log function itself must be too.
void SetMessageLog(std::function<void(std::string_view)> log);

// Logs `text` (and the title, when there is one) and answers IDOK.
int MessageBoxA(std::string_view text, int buttons, std::string_view title = {});

}  // namespace kelvane::user
