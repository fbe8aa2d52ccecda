#include "platform/oleaut/Conversion.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <memory>
#include <system_error>

#include "platform/oleaut/AutomationError.h"
#include "platform/oleaut/DateTime.h"
#include "platform/oleaut/Dispatch.h"

namespace kelvane::oleaut {

namespace {

thread_local NumberFormat currentFormat;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return std::ranges::equal(a, b, [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}

// The value of digit `c` in `base` (8 or 16); -1 when it is no such digit.
int DigitValue(char c, int base) {
  int value = -1;
  if (IsDigit(c)) value = c - '0';
  else if (c >= 'a' && c <= 'f') value = c - 'a' + 10;
  else if (c >= 'A' && c <= 'F') value = c - 'A' + 10;
  return value < base ? value : -1;
}

// The rest of a literal after its '&': H or O and at least one digit. A value
// of up to 16 bits is a 16-bit signed number, one of up to 32 bits a 32-bit
// signed number; a wider one raises 6.
std::optional<double> ParseRadixLiteral(std::string_view text) {
  if (text.empty()) return std::nullopt;
  const char kind = AsciiLower(text.front());
  const int base = kind == 'h' ? 16 : kind == 'o' ? 8 : 0;
  text.remove_prefix(1);
  if (base == 0 || text.empty()) return std::nullopt;
  std::uint64_t value = 0;
  bool tooWide = false;
  for (const char c : text) {
    const int digit = DigitValue(c, base);
    if (digit < 0) return std::nullopt;
    if (!tooWide) {
      value = value * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit);
      tooWide = value > 0xFFFF'FFFFu;
    }
  }
  if (tooWide) RaiseOverflow();
  if (value <= 0xFFFFu) return static_cast<Integer>(static_cast<std::uint16_t>(value));
  return static_cast<Long>(static_cast<std::uint32_t>(value));
}

// Whether a nonzero decimal number that std::from_chars found out of range is
// too large, rather than too small to tell from zero: its first significant
// digit stands at a place of 10^0 or above.
bool IsTooLarge(std::string_view integerDigits, std::string_view fractionDigits,
                std::string_view exponent) {
  constexpr long long kFar = 1'000'000'000;  // beyond any double's exponent
  long long scale = 0;
  for (const char c : exponent)
    if (IsDigit(c)) scale = std::min(scale * 10 + (c - '0'), kFar);
  if (!exponent.empty() && exponent.front() == '-') scale = -scale;
  const auto firstSignificant = integerDigits.find_first_not_of('0');
  if (firstSignificant != std::string_view::npos)
    return static_cast<long long>(integerDigits.size() - firstSignificant) + scale > 0;
  return scale - static_cast<long long>(fractionDigits.find_first_not_of('0')) > 0;
}

// A decimal number: an optional sign, digits with group separators between
// them, a decimal separator, an exponent after E or D. The parts are copied
// into the form std::from_chars reads, so the C locale plays no part.
std::optional<double> ParseDecimal(std::string_view text, const NumberFormat& format) {
  const auto at = [text](std::size_t pos) { return pos < text.size() ? text[pos] : '\0'; };
  std::size_t i = 0;
  const bool negative = at(0) == '-';
  if (at(0) == '+' || negative) ++i;

  std::string integerDigits;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    const bool betweenDigits = i > 0 && IsDigit(text[i - 1]) && IsDigit(at(i + 1));
    if (IsDigit(c)) integerDigits += c;
    else if (c != format.group || c == format.decimal || !betweenDigits) break;
  }
  std::string fractionDigits;
  if (at(i) == format.decimal)
    for (++i; IsDigit(at(i)); ++i) fractionDigits += text[i];
  if (integerDigits.empty() && fractionDigits.empty()) return std::nullopt;

  std::string exponent;
  if (const char e = AsciiLower(at(i)); e == 'e' || e == 'd') {
    ++i;
    if (at(i) == '+' || at(i) == '-') exponent += text[i++];
    const std::size_t signLength = exponent.size();
    for (; IsDigit(at(i)); ++i) exponent += text[i];
    if (exponent.size() == signLength) return std::nullopt;
  }
  if (i != text.size()) return std::nullopt;

  std::string normalised = negative ? "-" : "";
  normalised += integerDigits.empty() ? "0" : integerDigits;
  if (!fractionDigits.empty()) normalised += "." + fractionDigits;
  if (!exponent.empty()) normalised += "e" + exponent;
  double value = 0.0;
  const auto [end, error] =
      std::from_chars(normalised.data(), normalised.data() + normalised.size(), value);
  if (error == std::errc::result_out_of_range) {
    if (IsTooLarge(integerDigits, fractionDigits, exponent)) RaiseOverflow();
    return 0.0;
  }
  return value;
}

double TextToDouble(std::string_view text) {
  const auto value = ParseNumber(text, CurrentNumberFormat());
  if (!value) RaiseRuntimeError(kTypeMismatch);
  return *value;
}

// `value` to `digits` significant digits in the shortest form %G gives, with
// an upper-case exponent of at least two digits ("1.5E-07") and the current
// decimal separator. Zero is "0" whatever its sign.
template <class T>
std::string FormatNumber(T value, int digits) {
  if (value == 0) return "0";
  std::array<char, 64> buffer{};
  const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                    std::chars_format::general, digits);
  std::string text(buffer.data(), result.ptr);
  const char decimal = CurrentNumberFormat().decimal;
  for (char& c : text) {
    if (c == 'e') c = 'E';
    else if (c == '.') c = decimal;
  }
  return text;
}

// An amount with as many of its four decimals as are not trailing zeros.
std::string FormatCurrencyValue(Currency c) {
  const bool negative = c.scaled < 0;
  const std::uint64_t magnitude =
      negative ? 0 - static_cast<std::uint64_t>(c.scaled) : static_cast<std::uint64_t>(c.scaled);
  constexpr auto kScale = static_cast<std::uint64_t>(Currency::kScale);
  std::string text = (negative ? "-" : "") + std::to_string(magnitude / kScale);
  std::uint64_t fraction = magnitude % kScale;
  if (fraction == 0) return text;
  int places = 4;
  for (; fraction % 10 == 0; fraction /= 10) --places;
  std::string digits = std::to_string(fraction);
  text += CurrentNumberFormat().decimal;
  text.append(static_cast<std::size_t>(places) - digits.size(), '0');
  return text + digits;
}

}  // namespace

const NumberFormat& CurrentNumberFormat() { return currentFormat; }

void SetCurrentNumberFormat(NumberFormat format) { currentFormat = format; }

std::optional<double> ParseNumber(std::string_view text, const NumberFormat& format) {
  text = TrimBlanks(text);
  if (!text.empty() && text.front() == '&') return ParseRadixLiteral(text.substr(1));
  return ParseDecimal(text, format);
}

double ToDouble(const Variant& v) {
  switch (v.Type()) {
    case VarType::Empty: return 0.0;
    case VarType::Null: RaiseRuntimeError(kInvalidUseOfNull);
    case VarType::Integer: return *v.If<Integer>();
    case VarType::Long: return *v.If<Long>();
    case VarType::Single: return *v.If<Single>();
    case VarType::Double: return *v.If<double>();
    case VarType::Date: return v.If<Date>()->days;
    case VarType::Currency:
      return static_cast<double>(v.If<Currency>()->scaled) / Currency::kScale;
    case VarType::Byte: return *v.If<Byte>();
    case VarType::Boolean: return static_cast<Integer>(*v.If<VariantBool>());
    case VarType::String: return TextToDouble(*v.If<std::string>());
    case VarType::Object: return ToDouble(ValueOf(v));
    default: RaiseRuntimeError(kTypeMismatch);
  }
}

// Every number type converts to double exactly, so the integer targets round
// and range-check the double.
Integer ToInteger(const Variant& v) { return RoundTo<Integer>(ToDouble(v)); }
Long ToLong(const Variant& v) { return RoundTo<Long>(ToDouble(v)); }
// True is 255: the Boolean's 16 bits, narrowed.
Byte ToByte(const Variant& v) {
  if (const auto* b = v.If<VariantBool>()) return IsTrue(*b) ? Byte{255} : Byte{0};
  return RoundTo<Byte>(ToDouble(v));
}
Single ToSingle(const Variant& v) { return ToSinglePrecision(ToDouble(v)); }

Currency ToCurrency(const Variant& v) {
  if (const auto* c = v.If<Currency>()) return *c;
  if (v.IsObject()) return ToCurrency(ValueOf(v));
  return CurrencyFromDouble(ToDouble(v));
}

Currency CurrencyFromDouble(double x) {
  // 2^63 is exact in a double; every double below it converts exactly.
  constexpr double kLimit = 9223372036854775808.0;
  const double scaled = RoundHalfEven(x * Currency::kScale);
  if (!(scaled >= -kLimit && scaled < kLimit)) RaiseOverflow();
  return Currency{static_cast<std::int64_t>(scaled)};
}

std::string ToString(const Variant& v) {
  switch (v.Type()) {
    case VarType::Empty: return {};
    case VarType::Null: RaiseRuntimeError(kInvalidUseOfNull);
    case VarType::Integer: return std::to_string(*v.If<Integer>());
    case VarType::Long: return std::to_string(*v.If<Long>());
    case VarType::Byte: return std::to_string(*v.If<Byte>());
    case VarType::Single: return FormatNumber(*v.If<Single>(), 7);
    case VarType::Double: return FormatNumber(*v.If<double>(), 15);
    case VarType::Date: return FormatDate(*v.If<Date>());
    case VarType::Currency: return FormatCurrencyValue(*v.If<Currency>());
    case VarType::String: return *v.If<std::string>();
    case VarType::Boolean: return IsTrue(*v.If<VariantBool>()) ? "True" : "False";
    case VarType::Object: return ToString(ValueOf(v));
    default: RaiseRuntimeError(kTypeMismatch);
  }
}

VariantBool ToBoolean(const Variant& v) {
  switch (v.Type()) {
    case VarType::Boolean: return *v.If<VariantBool>();
    case VarType::String: {
      const std::string_view text = TrimBlanks(*v.If<std::string>());
      if (EqualsIgnoringCase(text, "True") || EqualsIgnoringCase(text, "#True#"))
        return VariantBool::True;
      if (EqualsIgnoringCase(text, "False") || EqualsIgnoringCase(text, "#False#"))
        return VariantBool::False;
      return ToVariantBool(TextToDouble(text) != 0.0);
    }
    case VarType::Object: return ToBoolean(ValueOf(v));
    default: return ToVariantBool(ToDouble(v) != 0.0);
  }
}

Variant ValueOf(const Variant& v) {
  const auto* object = v.If<ObjectRef>();
  if (object == nullptr) return v;
  if (!*object) RaiseRuntimeError(kObjectNotSet);
  const auto dispatch = std::dynamic_pointer_cast<IDispatch>(*object);
  if (!dispatch) RaiseRuntimeError(kTypeMismatch);
  Variant value;
  try {
    value = dispatch->Invoke(DISPID_VALUE, DISPATCH_PROPERTYGET, {});
  } catch (const AutomationError& error) {
    if (error.Number() == kMemberNotFound) RaiseRuntimeError(kTypeMismatch);
    throw;
  }
  if (value.IsObject()) RaiseRuntimeError(kTypeMismatch);
  return value;
}

void AppendUtf8(std::string& out, std::uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

std::string ToUtf16Bytes(std::string_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  const auto unit = [&out](std::uint32_t u) {
    out += static_cast<char>(u & 0xFF);
    out += static_cast<char>(u >> 8);
  };
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t length = lead >= 0xF8 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    std::uint32_t code = length == 1 ? lead : lead & (0x7Fu >> length);
    bool whole = i + length <= text.size();
    for (std::size_t k = 1; whole && k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      whole = (next & 0xC0) == 0x80;
      code = (code << 6) | (next & 0x3Fu);
    }
    if (code > 0x10FFFF) whole = false;
    if (!whole) code = lead;
    if (code >= 0x10000) {
      unit(0xD800 | ((code - 0x10000) >> 10));
      unit(0xDC00 | ((code - 0x10000) & 0x3FF));
    } else {
      unit(code);
    }
    i += whole ? length : 1;
  }
  return out;
}

std::string FromUtf16Bytes(std::string_view bytes) {
  std::string out;
  const auto unitAt = [bytes](std::size_t i) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i])) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8;
  };
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    std::uint32_t code = unitAt(i);
    if (code >= 0xD800 && code < 0xDC00 && i + 3 < bytes.size()) {
      const std::uint32_t low = unitAt(i + 2);
      if (low >= 0xDC00 && low < 0xE000) {
        code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
        i += 2;
      }
    }
    AppendUtf8(out, code);
  }
  return out;
}

std::string_view BytesOf(const SafeArray& array) {
  return {reinterpret_cast<const char*>(array.bytes.data()), array.bytes.size()};
}

bool IsByteArray(const Variant& v) {
  const auto* array = v.If<ArrayRef>();
  return array != nullptr && *array && (*array)->elementType == VarType::Byte;
}

ObjectRef ToObject(const Variant& v) {
  if (const auto* object = v.If<ObjectRef>()) return *object;
  RaiseRuntimeError(kObjectRequired);
}

}  // namespace kelvane::oleaut
