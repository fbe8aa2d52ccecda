#include "host/vbscript/Text.h"

#include "platform/oleaut/Dispatch.h"

namespace kelvane::host::vbscript {

namespace {

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

std::size_t CharsBefore(std::string_view s, std::size_t byte) { return CharCount(s.substr(0, byte)); }

}  // namespace

std::size_t CharCount(std::string_view s) {
  std::size_t count = 0;
  for (const char c : s) count += IsContinuationByte(c) ? 0 : 1;
  return count;
}

std::size_t ByteOffset(std::string_view s, std::size_t chars) {
  std::size_t at = 0;
  while (at < s.size() && chars > 0) {
    ++at;
    while (at < s.size() && IsContinuationByte(s[at])) ++at;
    --chars;
  }
  return at;
}

std::size_t FindBytes(std::string_view s, std::string_view find, std::size_t from, bool text) {
  if (!text) return s.find(find, from);
  return oleaut::FoldCase(s).find(oleaut::FoldCase(find), from);
}

std::size_t FindText(std::string_view s, std::string_view find, std::size_t start, bool text) {
  if (start > CharCount(s) + (find.empty() ? 1 : 0)) return 0;
  if (find.empty()) return start;
  const std::size_t found = FindBytes(s, find, ByteOffset(s, start - 1), text);
  return found == std::string_view::npos ? 0 : CharsBefore(s, found) + 1;
}

std::size_t FindTextBackward(std::string_view s, std::string_view find, long start, bool text) {
  const std::size_t chars = CharCount(s);
  if (start > static_cast<long>(chars)) return 0;
  const std::size_t end = start < 0 ? s.size() : ByteOffset(s, static_cast<std::size_t>(start));
  if (find.empty()) return start < 0 ? chars : static_cast<std::size_t>(start);
  if (find.size() > end) return 0;
  const std::string_view within = s.substr(0, end);
  const std::size_t found = text ? oleaut::FoldCase(within).rfind(oleaut::FoldCase(find)) : within.rfind(find);
  return found == std::string_view::npos ? 0 : CharsBefore(s, found) + 1;
}

std::string ReplaceText(std::string_view s, std::string_view find, std::string_view with,
                        std::size_t start, long count, bool text) {
  const std::string_view tail = s.substr(ByteOffset(s, start - 1));
  if (find.empty() || count == 0) return std::string(tail);
  std::string result;
  std::size_t at = 0;
  const std::string folded = text ? oleaut::FoldCase(tail) : std::string();
  const std::string foldedFind = text ? oleaut::FoldCase(find) : std::string();
  for (long done = 0; count < 0 || done < count; ++done) {
    const std::size_t found = text ? folded.find(foldedFind, at) : tail.find(find, at);
    if (found == std::string_view::npos) break;
    result.append(tail.substr(at, found - at)).append(with);
    at = found + find.size();
  }
  result.append(tail.substr(at));
  return result;
}

int CompareText(std::string_view a, std::string_view b, bool text) {
  const int order = text ? oleaut::FoldCase(a).compare(oleaut::FoldCase(b)) : a.compare(b);
  return order < 0 ? -1 : order > 0 ? 1 : 0;
}

std::string ReverseText(std::string_view s) {
  std::string reversed;
  reversed.reserve(s.size());
  std::size_t end = s.size();
  while (end > 0) {
    std::size_t start = end - 1;
    while (start > 0 && IsContinuationByte(s[start])) --start;
    reversed.append(s.substr(start, end - start));
    end = start;
  }
  return reversed;
}

std::string EncodeCodePoint(std::uint32_t code) {
  std::string out;
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
  return out;
}

std::uint32_t FirstCodePoint(std::string_view s) {
  const auto byte = [&](std::size_t i) { return i < s.size() ? static_cast<unsigned char>(s[i]) : 0u; };
  const unsigned lead = byte(0);
  if (lead < 0x80) return lead;
  if (lead >= 0xF0) return ((lead & 0x07u) << 18) | ((byte(1) & 0x3Fu) << 12) | ((byte(2) & 0x3Fu) << 6) | (byte(3) & 0x3Fu);
  if (lead >= 0xE0) return ((lead & 0x0Fu) << 12) | ((byte(1) & 0x3Fu) << 6) | (byte(2) & 0x3Fu);
  if (lead >= 0xC0) return ((lead & 0x1Fu) << 6) | (byte(1) & 0x3Fu);
  return lead;
}

}  // namespace kelvane::host::vbscript
