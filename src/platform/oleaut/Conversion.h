#pragma once
// Conversions of variants to the automation types, by OLE automation's
// rules: Empty gives 0, False or the empty text; fractions round to
// nearest, ties to even; text is read as a number in the current number
// format; an object gives its value member. Failures raise the runtime's
// errors: 6 out of range, 13 no such conversion (text that is no number,
// an array), 94 Null, 91 an object reference that is Nothing.

#include <optional>
#include <string>
#include <string_view>

#include "platform/oleaut/AutomationError.h"
#include "platform/oleaut/Variant.h"

namespace kelvane::oleaut {

// The separators that text is read and written with (the user's locale).
struct NumberFormat {
  char decimal = '.';
  char group = ',';
};

// The calling thread's number format; '.' and ',' unless set.
const NumberFormat& CurrentNumberFormat();
void SetCurrentNumberFormat(NumberFormat format);

// Reads text as a number: surrounding spaces, a sign, digits with group
// separators, a decimal separator, an exponent, or a &H (hex) or &O (octal)
// literal of up to 32 bits (one of up to 16 bits reads as a 16-bit signed
// value, "&HFFFF" is -1; up to 32 bits as 32-bit signed). nullopt when the
// text is no number; 6 when it is a number beyond the double range.
std::optional<double> ParseNumber(std::string_view text, const NumberFormat& format);

Integer ToInteger(const Variant& v);
Long ToLong(const Variant& v);
Byte ToByte(const Variant& v);
Single ToSingle(const Variant& v);
double ToDouble(const Variant& v);
// A fixed-point amount: numbers rounded to four places, ties to even; 6
// beyond the range of 922,337,203,685,477.5807.
Currency ToCurrency(const Variant& v);
Currency CurrencyFromDouble(double x);
// Numbers as the runtime writes them ("2.5", "1E+20"; Single to 7 and
// Double to 15 significant digits); Booleans as "True" and "False".
std::string ToString(const Variant& v);
// Numbers: 0 is False, anything else True; text: "True" or "False" in any
// case, or a number.
VariantBool ToBoolean(const Variant& v);
// A variant as a conversion or an operator sees it: an object stands for its
// value member (91 for Nothing, 13 for an object without one or whose value
// is itself an object); anything else is itself.
Variant ValueOf(const Variant& v);
// An object reference (possibly Nothing); 424 for anything that is no object.
ObjectRef ToObject(const Variant& v);

// Appends the UTF-8 bytes of the character `code`.
void AppendUtf8(std::string& out, std::uint32_t code);
// Text as UTF-16 code units of two bytes each, low byte first: the bytes a
// byte string sees in text. A byte that is no part of UTF-8 stands for the
// character of its own code.
std::string ToUtf16Bytes(std::string_view text);
// The text of whole UTF-16 code units, low byte first; an odd last byte is
// dropped.
std::string FromUtf16Bytes(std::string_view bytes);
// The bytes of a byte array as a view (valid while the array lives).
std::string_view BytesOf(const SafeArray& array);
// Whether `v` holds a byte array.
bool IsByteArray(const Variant& v);

// An argument converted for a typed parameter: as `convert` converts it,
// except that Null, given as such or as an object's value, is a type
// mismatch (13), as no typed parameter can hold it, and an argument left
// out is 449. The object's value member is read once.
template <class T>
T ArgumentTo(const Variant& v, T (*convert)(const Variant&)) {
  if (v.IsObject()) return ArgumentTo(ValueOf(v), convert);
  if (v.IsNull()) RaiseRuntimeError(kTypeMismatch);
  if (v.IsMissing()) RaiseRuntimeError(kArgumentNotOptional);
  return convert(v);
}

// The conversion and the type code for each C++ type that crosses a
// dispatch interface.
template <class T>
T VariantTo(const Variant& v);
template <> inline Integer VariantTo<Integer>(const Variant& v) { return ArgumentTo(v, ToInteger); }
template <> inline Long VariantTo<Long>(const Variant& v) { return ArgumentTo(v, ToLong); }
template <> inline Byte VariantTo<Byte>(const Variant& v) { return ArgumentTo(v, ToByte); }
template <> inline Single VariantTo<Single>(const Variant& v) { return ArgumentTo(v, ToSingle); }
template <> inline double VariantTo<double>(const Variant& v) { return ArgumentTo(v, ToDouble); }
template <> inline std::string VariantTo<std::string>(const Variant& v) {
  return ArgumentTo(v, ToString);
}
template <> inline VariantBool VariantTo<VariantBool>(const Variant& v) {
  return ArgumentTo(v, ToBoolean);
}
template <> inline Variant VariantTo<Variant>(const Variant& v) { return v; }

template <class T> constexpr VarType kVarTypeOf = VarType::Void;
template <> inline constexpr VarType kVarTypeOf<Integer> = VarType::Integer;
template <> inline constexpr VarType kVarTypeOf<Long> = VarType::Long;
template <> inline constexpr VarType kVarTypeOf<Byte> = VarType::Byte;
template <> inline constexpr VarType kVarTypeOf<Single> = VarType::Single;
template <> inline constexpr VarType kVarTypeOf<double> = VarType::Double;
template <> inline constexpr VarType kVarTypeOf<std::string> = VarType::String;
template <> inline constexpr VarType kVarTypeOf<VariantBool> = VarType::Boolean;
template <> inline constexpr VarType kVarTypeOf<Variant> = VarType::Variant;
template <class T> inline constexpr VarType kVarTypeOf<std::optional<T>> = kVarTypeOf<T>;

}  // namespace kelvane::oleaut
