// The encodings of web text that pages call on.

#include "host/pages/WebText.h"

#include <gtest/gtest.h>

#include <string>

namespace kelvane::host {
namespace {

struct HtmlCase {
  const char* text;
  const char* encoded;
};

// Each stretch of bytes that is not UTF-8 becomes one U+FFFD, as a browser
// decoding the page would show it; valid characters pass as they are.
constexpr HtmlCase kHtmlCases[] = {
    {"<a href='x'>&\"", "&lt;a href=&#39;x&#39;&gt;&amp;&quot;"},
    {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"},
    {"a\xFF" "b", "a\xEF\xBF\xBD" "b"},
    {"\x80<", "\xEF\xBF\xBD&lt;"},
    {"\xE2\x82", "\xEF\xBF\xBD"},
    {"\xE2\x82<", "\xEF\xBF\xBD&lt;"},
    {"\xF0\x9F\x98", "\xEF\xBF\xBD"},
    {"\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"},
    {"\xE0\x80\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
    {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
    {"\xF4\x90\x80\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
    {"\xF5", "\xEF\xBF\xBD"},
};

TEST(WebText, HtmlEncodeEscapesMarkupAndReplacesWhatIsNotUtf8) {
  for (const HtmlCase& c : kHtmlCases) EXPECT_EQ(HtmlEncode(c.text), c.encoded) << c.text;
}

}  // namespace
}  // namespace kelvane::host
