// Text between UTF-8 and the single-byte code pages a page may choose.

#include "host/pages/CodePages.h"

#include <gtest/gtest.h>

#include <string>

namespace kelvane::host {
namespace {

struct CodePageCase {
  int codePage;
  const char* text;   // UTF-8
  const char* bytes;  // in the code page
  bool roundTrip;     // the bytes read back as the text
};

constexpr CodePageCase kCases[] = {
    {1252, "caf\xC3\xA9 <b>", "caf\xE9 <b>", true},
    {1252, "\xE2\x82\xAC \xE2\x80\x9Cq\xE2\x80\x9D \xC5\xB8", "\x80 \x93q\x94 \x9F", true},
    {1252, "\xC2\x81\xC2\x8D\xC2\x9D", "\x81\x8D\x9D", true},  // the bytes 1252 leaves undefined
    {1252, "\xC3\xBF\xC2\xA0", "\xFF\xA0", true},
    {1252, "\xE6\x97\xA5 \xF0\x9F\x98\x80", "? ?", false},   // characters it lacks
    {1252, "\xC2\x80", "?", false},                          // U+0080: 0x80 is the euro sign
    {1252, "a\xFF" "b\xE2\x82", "a?b?", false},              // bytes that are not UTF-8
    {28591, "caf\xC3\xA9 \xC2\x80", "caf\xE9 \x80", true},
    {28591, "\xE2\x82\xAC", "?", false},
    {65001, "caf\xC3\xA9 \xE6\x97\xA5", "caf\xC3\xA9 \xE6\x97\xA5", true},
    {20127, "plain ~\x7F", "plain ~\x7F", true},
    {20127, "caf\xC3\xA9 \xE2\x82\xAC\xC2\xA0", "caf? ??", false},
};

TEST(CodePages, EncodeAndDecodeTheSingleByteCodePages) {
  EXPECT_EQ(DecodeText("a\x80\xFF", 20127), "a??") << "bytes past ASCII";
  for (const CodePageCase& c : kCases) {
    SCOPED_TRACE(std::to_string(c.codePage) + " " + c.text);
    EXPECT_EQ(EncodeText(c.text, c.codePage), c.bytes);
    if (c.roundTrip) {
      EXPECT_EQ(DecodeText(c.bytes, c.codePage), c.text);
    }
  }
}

TEST(CodePages, KnowsTheirNames) {
  EXPECT_EQ(CharsetOf(1252), "windows-1252");
  EXPECT_EQ(CharsetOf(65001), "utf-8");
  EXPECT_EQ(CharsetOf(28591), "iso-8859-1");
  EXPECT_EQ(CharsetOf(20127), "us-ascii");
  for (const int codePage : {65001, 1252, 28591, 20127}) {
    EXPECT_EQ(CodePageNamed(CharsetOf(codePage)), codePage);
  }
  EXPECT_EQ(CodePageNamed("UTF-8"), 65001);
  EXPECT_EQ(CodePageNamed("Windows-1252"), 1252);
  EXPECT_EQ(CodePageNamed("utf8"), 0);
  EXPECT_EQ(CodePageNamed(""), 0);
  for (const int unknown : {0, 932, 1251, 65000, -1}) {
    EXPECT_FALSE(IsKnownCodePage(unknown)) << unknown;
    EXPECT_EQ(CharsetOf(unknown), "") << unknown;
  }
}

}  // namespace
}  // namespace kelvane::host
