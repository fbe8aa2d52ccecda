// Feeds arbitrary bytes to the reader of a session's stored form, as a
// damaged or hostile store could hand them over: each input is refused or
// read, never a crash or a read outside its bytes (the sanitizers watch),
// and what is read, written, is read back to the same form.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "host/pages/SessionForm.h"
#include "host/pages/SiteState.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kelvane::host;
  constexpr std::size_t kMost = std::size_t{16} << 20;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  ValueBudget budget(kMost);
  SessionState session("fuzz", &budget);
  if (!ReadStoredForm(bytes, session)) return 0;
  const std::string form = StoredForm(session, kMost);
  SessionState again("fuzz", &budget);
  if (!ReadStoredForm(form, again) || StoredForm(again, kMost) != form) std::abort();
  return 0;
}
