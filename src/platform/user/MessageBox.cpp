#include "platform/user/MessageBox.h"

#include <cstdio>
#include <mutex>
#include <string>

namespace kelvane::user {

namespace {

std::mutex logMutex;
std::function<void(std::string_view)> messageLog = [](std::string_view text) {
  std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
};

}  // namespace

void SetMessageLog(std::function<void(std::string_view)> log) {
  const std::lock_guard lock(logMutex);
  messageLog = std::move(log);
}

int MessageBoxA(std::string_view text, int, std::string_view title) {
  std::string line = "message box: ";
  if (!title.empty()) line.append(title).append(": ");
  line.append(text);
  std::function<void(std::string_view)> log;
  {
    const std::lock_guard lock(logMutex);
    log = messageLog;
  }
  log(line);
  return IDOK;
}

}  // namespace kelvane::user
