// Feeds arbitrary bytes to the decoders of what a request carries: the
// query string and form fields, cookies, and the encoders pages send them
// back through. Every input must decode to something, never crash or read
// outside its bytes (the sanitizers watch), and encoding what was decoded
// must give text a URL or a page can carry as it stands.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "host/pages/WebText.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kelvane::host;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  for (const Fields& fields : {ParseFields(text), ParseCookies(text)}) {
    for (const auto& [name, value] : fields) {
      if (UrlDecode(UrlEncode(value)) != value) std::abort();
      if (HtmlEncode(name).find_first_of("<>\"'") != std::string::npos) std::abort();
    }
  }
  return 0;
}
