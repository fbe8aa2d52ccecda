#include "host/vbscript/Text.h"

#include <string.h>

#include <algorithm>
#include <vector>

#include "host/pages/PageDeadline.h"
#include "platform/oleaut/Conversion.h"
#include "platform/oleaut/Dispatch.h"

namespace kelvane::host::vbscript {

namespace {

constexpr std::size_t kSearchWindow = std::size_t{1} << 20;

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

std::size_t FindBytes(std::string_view s, std::string_view find, std::size_t from) {
  if (from > s.size()) return std::string_view::npos;
  if (find.empty()) return from;
  // glibc's memmem is the two-way search: linear whatever the two texts.
  // It runs over windows of a megabyte or more, which overlap by all but
  // one byte of `find`, with a look at the clock between two.
  const std::size_t window = std::max(kSearchWindow, 2 * find.size());
  for (std::size_t at = from;; at += window - find.size() + 1) {
    const std::size_t length = std::min(window, s.size() - at);
    if (length < find.size()) return std::string_view::npos;
    if (const void* found = ::memmem(s.data() + at, length, find.data(), find.size()))
      return static_cast<std::size_t>(static_cast<const char*>(found) - s.data());
    if (at + length == s.size()) return std::string_view::npos;
    host::CheckDeadline();
  }
}

std::size_t FindBytesBackward(std::string_view s, std::string_view find) {
  const std::size_t m = find.size();
  if (m == 0) return s.size();
  if (m > s.size()) return std::string_view::npos;
  // Knuth-Morris-Pratt with both texts read from their ends: linear in
  // their lengths, where rfind compares the whole of `find` at each place.
  const auto sought = [&](std::size_t i) { return find[m - 1 - i]; };
  std::vector<std::size_t> border(m);  // of each prefix of `sought`, its longest proper border
  for (std::size_t i = 1, k = 0; i < m; ++i) {
    while (k > 0 && sought(i) != sought(k)) k = border[k - 1];
    if (sought(i) == sought(k)) ++k;
    border[i] = k;
  }
  host::DeadlineTicker<65536> ticker;
  for (std::size_t j = 0, k = 0; j < s.size(); ++j) {
    ticker.Tick();
    const char c = s[s.size() - 1 - j];
    while (k > 0 && c != sought(k)) k = border[k - 1];
    if (c == sought(k) && ++k == m) return s.size() - 1 - j;
  }
  return std::string_view::npos;
}

ComparedText::ComparedText(std::string_view s, bool text)
    : folded_(text ? oleaut::FoldCase(s) : std::string()), view_(text ? std::string_view(folded_) : s) {}

std::size_t FindText(std::string_view s, std::string_view find, std::size_t start, bool text) {
  if (start > CharCount(s) + (find.empty() ? 1 : 0)) return 0;
  if (find.empty()) return start;
  const std::size_t found =
      FindBytes(ComparedText(s, text).View(), ComparedText(find, text).View(), ByteOffset(s, start - 1));
  return found == std::string_view::npos ? 0 : CharsBefore(s, found) + 1;
}

std::size_t FindTextBackward(std::string_view s, std::string_view find, long start, bool text) {
  const std::size_t chars = CharCount(s);
  if (start > static_cast<long>(chars)) return 0;
  const std::size_t end = start < 0 ? s.size() : ByteOffset(s, static_cast<std::size_t>(start));
  if (find.empty()) return start < 0 ? chars : static_cast<std::size_t>(start);
  if (find.size() > end) return 0;
  const std::size_t found =
      FindBytesBackward(ComparedText(s.substr(0, end), text).View(), ComparedText(find, text).View());
  return found == std::string_view::npos ? 0 : CharsBefore(s, found) + 1;
}

std::string ReplaceText(std::string_view s, std::string_view find, std::string_view with,
                        std::size_t start, long count, bool text) {
  const std::string_view tail = s.substr(ByteOffset(s, start - 1));
  if (find.empty() || count == 0) return std::string(tail);
  std::string result;
  std::size_t at = 0;
  const ComparedText searched(tail, text);
  const ComparedText sought(find, text);
  host::DeadlineTicker ticker;
  for (long done = 0; count < 0 || done < count; ++done) {
    ticker.Tick();
    const std::size_t found = FindBytes(searched.View(), sought.View(), at);
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
  host::DeadlineTicker<65536> ticker;
  while (end > 0) {
    ticker.Tick();
    std::size_t start = end - 1;
    while (start > 0 && IsContinuationByte(s[start])) --start;
    reversed.append(s.substr(start, end - start));
    end = start;
  }
  return reversed;
}

std::string RepeatText(std::string_view unit, std::size_t count) {
  std::string repeated;
  repeated.reserve(unit.size() * count);
  // A megabyte of units between two looks at the clock.
  constexpr std::size_t kUnitsPerCheck = std::size_t{1} << 20;
  while (count > 0) {
    host::CheckDeadline();
    const std::size_t units = std::min(count, kUnitsPerCheck);
    if (unit.size() == 1) {
      repeated.append(units, unit.front());
    } else {
      for (std::size_t i = 0; i < units; ++i) repeated += unit;
    }
    count -= units;
  }
  return repeated;
}

std::string EncodeCodePoint(std::uint32_t code) {
  std::string out;
  oleaut::AppendUtf8(out, code);
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
