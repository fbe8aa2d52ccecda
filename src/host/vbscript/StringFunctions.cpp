// The string functions: positions count the characters of UTF-8 text from 1.

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>

#include "host/pages/PageDeadline.h"
#include "host/vbscript/BuiltinFunctions.h"
#include "host/vbscript/Text.h"
#include "platform/oleaut/Dispatch.h"

namespace kelvane::host::vbscript::builtins {

using namespace oleaut;

namespace {

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

template <char (*Convert)(char)>
Variant MapCase(Args a) {
  if (a[0].IsNull()) return a[0];
  std::string s = ToString(a[0]);
  for (char& c : s) c = Convert(c);
  return s;
}

template <bool Front, bool Back>
Variant TrimSpaces(Args a) {
  if (a[0].IsNull()) return a[0];
  const std::string s = ToString(a[0]);
  std::size_t first = 0, last = s.size();
  if (Front) while (first < last && s[first] == ' ') ++first;
  if (Back) while (last > first && s[last - 1] == ' ') --last;
  return s.substr(first, last - first);
}

// Whether a number is written in 16 bits (Hex(-1) is "FFFF") or 32.
bool IsNarrow(const Variant& v) {
  switch (v.Type()) {
    case VarType::Empty:
    case VarType::Byte:
    case VarType::Integer:
    case VarType::Boolean: return true;
    default: return false;
  }
}

template <int Base>
Variant Radix(Args a) {
  if (a[0].IsNull()) return a[0];
  const Long value = ToLong(a[0]);
  std::uint32_t bits = static_cast<std::uint32_t>(value);
  if (IsNarrow(a[0])) bits &= 0xFFFF;
  std::array<char, 16> buffer{};
  std::snprintf(buffer.data(), buffer.size(), Base == 16 ? "%X" : "%o", bits);
  return std::string(buffer.data());
}

}  // namespace

Variant Len(Args a) {
  if (a[0].IsNull()) return a[0];
  return static_cast<Long>(CharCount(ToString(a[0])));
}

// The length is read first: a Null length is 94 and a negative one 5 even
// for a Null string, which otherwise gives Null.
Variant Left(Args a) {
  const auto n = static_cast<std::size_t>(Count(a[1]));
  if (a[0].IsNull()) return a[0];
  const std::string s = ToString(a[0]);
  return s.substr(0, ByteOffset(s, n));
}

Variant Right(Args a) {
  const auto n = static_cast<std::size_t>(Count(a[1]));
  if (a[0].IsNull()) return a[0];
  const std::string s = ToString(a[0]);
  const std::size_t chars = CharCount(s);
  return s.substr(ByteOffset(s, chars > n ? chars - n : 0));
}

// Start and length are checked before the string: Null in either is 94.
Variant Mid(Args a) {
  RefuseNull(a.subspan(1));
  const Long start = ToLong(a[1]);
  if (start < 1) InvalidCall();
  const bool withLength = Given(a, 2);
  const auto length = withLength ? static_cast<std::size_t>(Count(a[2])) : 0;
  if (a[0].IsNull()) return a[0];
  const std::string s = ToString(a[0]);
  const std::size_t from = ByteOffset(s, static_cast<std::size_t>(start - 1));
  if (!withLength) return s.substr(from);
  const std::string rest = s.substr(from);
  return rest.substr(0, ByteOffset(rest, length));
}

SearchArguments ReadSearchArguments(Args a) {
  const bool withStart = a.size() >= 3;
  if (withStart && a[0].IsNull()) RaiseRuntimeError(kInvalidUseOfNull);
  const Long start = withStart && Given(a, 0) ? ToLong(a[0]) : 1;
  if (start < 1) InvalidCall();
  return {static_cast<std::size_t>(start), a[withStart ? 1 : 0], a[withStart ? 2 : 1], TextCompare(a, 3)};
}

Variant InStr(Args a) {
  const SearchArguments search = ReadSearchArguments(a);
  if (search.searched.IsNull() || search.sought.IsNull()) return Variant::Null();
  return static_cast<Long>(
      FindText(ToString(search.searched), ToString(search.sought), search.start, search.text));
}

Variant InStrRev(Args a) {
  RefuseNull(a);
  const Long start = Given(a, 2) ? ToLong(a[2]) : -1;
  if (start == 0 || start < -1) InvalidCall();
  return static_cast<Long>(FindTextBackward(ToString(a[0]), ToString(a[1]), start, TextCompare(a, 3)));
}

Variant Replace(Args a) {
  RefuseNull(a);
  const Long start = Given(a, 3) ? ToLong(a[3]) : 1;
  const Long count = Given(a, 4) ? ToLong(a[4]) : -1;
  if (start < 1 || count < -1) InvalidCall();
  return ReplaceText(ToString(a[0]), ToString(a[1]), ToString(a[2]), static_cast<std::size_t>(start),
                     count, TextCompare(a, 5));
}

Variant Split(Args a) {
  if (a[0].IsNull()) RaiseRuntimeError(kInvalidUseOfNull);
  const std::string s = ToString(a[0]);
  const std::string delimiter = Given(a, 1) ? ToString(a[1]) : " ";
  const Long count = Given(a, 2) ? ToLong(a[2]) : -1;
  if (count < -1) InvalidCall();
  std::vector<Variant> parts;
  if (s.empty() || count == 0) return MakeArray(std::move(parts));
  if (delimiter.empty()) {
    parts.emplace_back(s);
    return MakeArray(std::move(parts));
  }
  const ComparedText searched(s, TextCompare(a, 3));
  const ComparedText sought(delimiter, TextCompare(a, 3));
  std::size_t at = 0;
  host::DeadlineTicker ticker;
  while (count < 0 || static_cast<Long>(parts.size()) < count - 1) {
    ticker.Tick();
    const std::size_t found = FindBytes(searched.View(), sought.View(), at);
    if (found == std::string::npos) break;
    parts.emplace_back(s.substr(at, found - at));
    at = found + delimiter.size();
  }
  parts.emplace_back(s.substr(at));
  return MakeArray(std::move(parts));
}

// A one-dimensional array of variants; Null in it is a type mismatch.
Variant Join(Args a) {
  if (a[0].IsNull()) RaiseRuntimeError(kInvalidUseOfNull);
  if (a[0].IsObject()) RaiseRuntimeError(kMemberNotFound);
  const SafeArray& array = ArrayOf(a[0]);
  if (array.Dimensions() > 1 || array.elementType == VarType::Byte) RaiseRuntimeError(kTypeMismatch);
  const std::string delimiter = Given(a, 1) ? ToString(a[1]) : " ";
  std::string joined;
  host::DeadlineTicker ticker;
  for (std::size_t i = 0; i < array.elements.size(); ++i) {
    ticker.Tick();
    if (i > 0) joined += delimiter;
    if (array.elements[i].IsNull()) RaiseRuntimeError(kTypeMismatch);
    joined += ToString(array.elements[i]);
  }
  return joined;
}

Variant Space(Args a) { return RepeatText(" ", static_cast<std::size_t>(Count(a[0]))); }

Variant StringOf(Args a) {
  if (a[1].IsNull()) return Variant::Null();
  const auto n = static_cast<std::size_t>(Count(a[0]));
  std::string unit;
  if (a[1].IsString()) {
    const std::string s = ToString(a[1]);
    if (s.empty()) InvalidCall();
    unit = s.substr(0, ByteOffset(s, 1));
  } else {
    unit = EncodeCodePoint(static_cast<std::uint32_t>(ToLong(a[1]) & 0xFF));
  }
  return RepeatText(unit, n);
}

Variant StrComp(Args a) {
  if (a[0].IsNull() || a[1].IsNull()) return Variant::Null();
  const int order = CompareText(ToString(a[0]), ToString(a[1]), TextCompare(a, 2));
  return static_cast<Integer>(order);
}

Variant StrReverse(Args a) {
  if (a[0].IsNull()) RaiseRuntimeError(kInvalidUseOfNull);
  return ReverseText(ToString(a[0]));
}

Variant Chr(Args a) {
  const Long code = ToLong(a[0]);
  if (code < 0 || code > 255) InvalidCall();
  return EncodeCodePoint(static_cast<std::uint32_t>(code));
}

Variant ChrW(Args a) {
  Long code = ToLong(a[0]);
  if (code < -32768 || code > 65535) InvalidCall();
  if (code < 0) code += 65536;
  return EncodeCodePoint(static_cast<std::uint32_t>(code));
}

Variant Asc(Args a) {
  const std::string s = ToString(a[0]);
  if (s.empty()) InvalidCall();
  const std::uint32_t code = FirstCodePoint(s);
  return code <= 0x7FFF ? Variant(static_cast<Integer>(code)) : Variant(static_cast<Long>(code));
}
Variant UCase(Args a) { return MapCase<Upper>(a); }
Variant LCase(Args a) { return MapCase<FoldChar>(a); }
Variant Trim(Args a) { return TrimSpaces<true, true>(a); }
Variant LTrim(Args a) { return TrimSpaces<true, false>(a); }
Variant RTrim(Args a) { return TrimSpaces<false, true>(a); }
Variant Hex(Args a) { return Radix<16>(a); }
Variant Oct(Args a) { return Radix<8>(a); }

}  // namespace kelvane::host::vbscript::builtins
