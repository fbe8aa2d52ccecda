#pragma once
// The code pages a page may choose for its text: 65001 (UTF-8, the host's
// own text and the default), 1252 (Windows Western), 28591 (ISO 8859-1) and
// 20127 (US-ASCII).
// Text inside the host is UTF-8 throughout; a code page decides only how a
// page's file and its visitors' fields are read and how what it writes is
// sent.

#include <cstddef>
#include <string>
#include <string_view>

namespace kelvane::host {

constexpr int kUtf8CodePage = 65001;

// Whether the host speaks code page `codePage`.
bool IsKnownCodePage(int codePage);
// The name a Content-Type gives `codePage` ("utf-8", "windows-1252",
// "iso-8859-1", "us-ascii"); empty for one the host does not speak.
std::string_view CharsetOf(int codePage);
// The code page named `charset` (as CharsetOf names it, in any case); 0 for
// a name the host does not speak.
int CodePageNamed(std::string_view charset);
// `bytes` of `codePage` as UTF-8; UTF-8 itself is returned as it is.
std::string DecodeText(std::string_view bytes, int codePage);
// UTF-8 `text` as bytes of `codePage`: a character the code page lacks, and
// each stretch of bytes that is not UTF-8, becomes '?'. UTF-8 is returned as
// it is.
std::string EncodeText(std::string_view text, int codePage);

// One step through UTF-8 text: a character, or one stretch of bytes that is
// not UTF-8 (a lead byte and as many of its continuation bytes as are in
// range, as a browser decodes them).
struct Utf8Step {
  std::size_t length;
  bool valid;
  char32_t character;  // when valid
};
// The step at the start of `text`, which is not empty.
Utf8Step NextUtf8(std::string_view text);

}  // namespace kelvane::host
