// Feeds arbitrary bytes to the connection string reader and to what turns
// a page's string into the one the ODBC driver gets. Every input must be
// refused with an automation error or give a string that reads back as the
// same pieces, with its passwords masked in the copy for logs; nothing may
// crash or read outside its bytes (the sanitizers watch).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "host/objects/adodb/ConnectionString.h"
#include "platform/oleaut/AutomationError.h"

namespace {

using namespace kelvane::host::adodb;

const std::vector<std::string> kInstalled = {
    "FreeTDS", "MariaDB Unicode", "PostgreSQL ANSI", "PostgreSQL Unicode", "SQLite3", "Other"};

std::filesystem::path Reach(std::string_view path, kelvane::host::FileUse) {
  if (path.starts_with('/') || path.find("..") != std::string_view::npos)
    throw kelvane::oleaut::AutomationError(70, "Kelvane", "Permission denied");
  return "/site/data/" + std::string(path);
}

void CheckTarget(const OdbcTarget& target) {
  const std::vector<ConnectionOption> connect = ParseConnectionString(target.connect);
  const std::vector<ConnectionOption> masked = ParseConnectionString(target.masked);
  if (connect.size() != masked.size() || connect.empty()) std::abort();
  for (std::size_t i = 0; i < connect.size(); ++i) {
    if (connect[i].key != masked[i].key) std::abort();
    if (connect[i].value != masked[i].value && masked[i].value != "****") std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  OdbcTarget target;
  try {
    ParseConnectionString(text);
    target = ToOdbc(text, kInstalled, Reach);
  } catch (const kelvane::oleaut::AutomationError&) {
    return 0;
  }
  try {
    CheckTarget(target);
  } catch (const kelvane::oleaut::AutomationError&) {
    std::abort();  // what was built does not read back
  }
  return 0;
}
