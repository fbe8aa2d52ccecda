#include "host/pages/CodePages.h"

#include <array>

#include "platform/oleaut/Conversion.h"
#include "platform/oleaut/Dispatch.h"

namespace kelvane::host {

namespace {

constexpr int kWindows1252 = 1252;
constexpr int kLatin1 = 28591;
constexpr int kUsAscii = 20127;
constexpr std::array<int, 4> kCodePages{kUtf8CodePage, kWindows1252, kLatin1, kUsAscii};

// What bytes 0x80 to 0x9F stand for in Windows-1252; the five it leaves
// undefined stand for the control characters of their own value, as
// Windows reads them, so that every byte reads and writes back the same.
constexpr std::array<char16_t, 32> kWindows1252High{
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

char32_t SingleByteCharacter(unsigned char byte, int codePage) {
  if (codePage == kUsAscii && byte >= 0x80) return '?';
  if (codePage == kWindows1252 && byte >= 0x80 && byte <= 0x9F) return kWindows1252High[byte - 0x80];
  return byte;
}

// The byte of `codePage` for `character`; '?' when it has none.
char SingleByte(char32_t character, int codePage) {
  if (character < 0x80) return static_cast<char>(character);
  if (codePage == kUsAscii) return '?';
  if (character >= 0xA0 && character <= 0xFF) return static_cast<char>(character);
  if (codePage == kLatin1) return character <= 0xFF ? static_cast<char>(character) : '?';
  for (std::size_t i = 0; i < kWindows1252High.size(); ++i)
    if (kWindows1252High[i] == character) return static_cast<char>(0x80 + i);
  return '?';
}

}  // namespace

bool IsKnownCodePage(int codePage) { return !CharsetOf(codePage).empty(); }

std::string_view CharsetOf(int codePage) {
  switch (codePage) {
    case kUtf8CodePage: return "utf-8";
    case kWindows1252: return "windows-1252";
    case kLatin1: return "iso-8859-1";
    case kUsAscii: return "us-ascii";
    default: return {};
  }
}

int CodePageNamed(std::string_view charset) {
  for (const int codePage : kCodePages)
    if (oleaut::SameName(CharsetOf(codePage), charset)) return codePage;
  return 0;
}

std::string DecodeText(std::string_view bytes, int codePage) {
  if (codePage == kUtf8CodePage) return std::string(bytes);
  std::string text;
  text.reserve(bytes.size() + bytes.size() / 8);
  for (const char byte : bytes) oleaut::AppendUtf8(text, SingleByteCharacter(static_cast<unsigned char>(byte), codePage));
  return text;
}

std::string EncodeText(std::string_view text, int codePage) {
  if (codePage == kUtf8CodePage) return std::string(text);
  std::string bytes;
  bytes.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    if (static_cast<unsigned char>(text[at]) < 0x80) {
      bytes += text[at++];
      continue;
    }
    const Utf8Step step = NextUtf8(text.substr(at));
    bytes += step.valid ? SingleByte(step.character, codePage) : '?';
    at += step.length;
  }
  return bytes;
}

Utf8Step NextUtf8(std::string_view text) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned lead = byte(0);
  if (lead < 0x80) return {1, true, lead};
  std::size_t continuations = 0;
  char32_t character = 0;
  unsigned lower = 0x80, upper = 0xBF;  // the range of the next continuation byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    continuations = 1;
    character = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    continuations = 2;
    character = lead & 0x0F;
    if (lead == 0xE0) lower = 0xA0;  // no overlong forms
    if (lead == 0xED) upper = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    continuations = 3;
    character = lead & 0x07;
    if (lead == 0xF0) lower = 0x90;
    if (lead == 0xF4) upper = 0x8F;  // nothing past U+10FFFF
  } else {
    return {1, false, 0};
  }
  for (std::size_t i = 1; i <= continuations; ++i) {
    if (i >= text.size() || byte(i) < lower || byte(i) > upper) return {i, false, 0};
    character = (character << 6) | (byte(i) & 0x3F);
    lower = 0x80;
    upper = 0xBF;
  }
  return {continuations + 1, true, character};
}

}  // namespace kelvane::host
