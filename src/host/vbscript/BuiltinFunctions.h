#pragma once
// What the built-in functions share, for the files that hold them: strings
// (StringFunctions.cpp), dates (DateFunctions.cpp) and the rest with the
// table that names them all (Builtins.cpp). Private to the engine.

#include <span>
#include <vector>

#include "platform/oleaut/AutomationError.h"
#include "platform/oleaut/Conversion.h"
#include "platform/oleaut/Variant.h"

namespace kelvane::host::vbscript::builtins {

using oleaut::Variant;
using Args = std::span<Variant>;

// Raises 5 "Invalid procedure call or argument".
[[noreturn]] void InvalidCall();
// Whether argument `index` was given: present and not left out (f(a, , c)).
bool Given(Args args, std::size_t index);
bool AnyNull(Args args);
// Raises 94 when any argument is Null.
void RefuseNull(Args args);
// A count argument as a Long; 5 when negative.
oleaut::Long Count(const Variant& v);
// Whether argument `index`, when given, asks for text compare (1) rather
// than binary compare (0); 5 for any other value.
bool TextCompare(Args args, std::size_t index);
// The array a variant holds; 13 when it holds none.
const oleaut::SafeArray& ArrayOf(const Variant& v);
Variant MakeArray(std::vector<Variant> elements);

// The arguments of InStr and InStrB, ([start,] searched, sought[, compare]),
// checked: a Null start is 94, one below 1 is 5.
struct SearchArguments {
  std::size_t start;  // 1-based
  const Variant& searched;
  const Variant& sought;
  bool text;
};
SearchArguments ReadSearchArguments(Args a);

// Strings.
Variant Len(Args a);
Variant Left(Args a);
Variant Right(Args a);
Variant Mid(Args a);
Variant InStr(Args a);
Variant InStrRev(Args a);
Variant Replace(Args a);
Variant Split(Args a);
Variant Join(Args a);
Variant UCase(Args a);
Variant LCase(Args a);
Variant Trim(Args a);
Variant LTrim(Args a);
Variant RTrim(Args a);
Variant Space(Args a);
Variant StringOf(Args a);
Variant StrComp(Args a);
Variant StrReverse(Args a);
Variant Chr(Args a);
Variant ChrW(Args a);
Variant Asc(Args a);
Variant Hex(Args a);
Variant Oct(Args a);

// Byte strings: byte arrays, or text seen as its UTF-16 code units of two
// bytes each (ByteStrings.cpp).
Variant LenB(Args a);
Variant LeftB(Args a);
Variant RightB(Args a);
Variant MidB(Args a);
Variant InStrB(Args a);
Variant AscB(Args a);
Variant ChrB(Args a);

// Dates.
Variant NowFunction(Args a);
Variant DateFunction(Args a);
Variant TimeFunction(Args a);
Variant TimerFunction(Args a);
Variant Year(Args a);
Variant Month(Args a);
Variant Day(Args a);
Variant Hour(Args a);
Variant Minute(Args a);
Variant Second(Args a);
Variant Weekday(Args a);
Variant DateAdd(Args a);
Variant DateDiff(Args a);
Variant DatePartFunction(Args a);
Variant DateSerialFunction(Args a);
Variant TimeSerialFunction(Args a);
Variant DateValue(Args a);
Variant TimeValue(Args a);
Variant MonthName(Args a);
Variant WeekdayName(Args a);
Variant FormatDateTime(Args a);

}  // namespace kelvane::host::vbscript::builtins
