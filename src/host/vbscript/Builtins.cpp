#include "host/vbscript/Builtins.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "host/objects/adodb/AdoConstants.h"
#include "host/pages/PageDeadline.h"
#include "host/vbscript/BuiltinFunctions.h"
#include "host/vbscript/Text.h"
#include "platform/oleaut/AutomationError.h"
#include "platform/oleaut/Conversion.h"
#include "platform/oleaut/DateTime.h"
#include "platform/oleaut/Dispatch.h"
#include "platform/oleaut/DispatchTable.h"
#include "platform/oleaut/Random.h"
#include "platform/oleaut/Rgb.h"
#include "platform/oleaut/TypeLibrary.h"

namespace kelvane::host::vbscript {

namespace builtins {

using namespace oleaut;

void InvalidCall() { RaiseRuntimeError(kInvalidProcedureCall); }

bool Given(Args args, std::size_t index) { return index < args.size() && !args[index].IsMissing(); }

bool AnyNull(Args args) {
  return std::any_of(args.begin(), args.end(), [](const Variant& v) { return v.IsNull(); });
}

void RefuseNull(Args args) {
  if (AnyNull(args)) RaiseRuntimeError(kInvalidUseOfNull);
}

Long Count(const Variant& v) {
  const Long n = ToLong(v);
  if (n < 0) InvalidCall();
  return n;
}

// Text compare (1) or binary compare (0, the default).
bool TextCompare(Args args, std::size_t index) {
  if (!Given(args, index)) return false;
  const Long mode = ToLong(args[index]);
  if (mode != 0 && mode != 1) InvalidCall();
  return mode == 1;
}

const SafeArray& ArrayOf(const Variant& v) {
  const auto* array = v.If<ArrayRef>();
  if (array == nullptr || !*array) RaiseRuntimeError(kTypeMismatch);
  return **array;
}

Variant MakeArray(std::vector<Variant> elements) {
  auto array = std::make_shared<SafeArray>();
  array->elements = std::move(elements);
  return Variant(ArrayRef(std::move(array)));
}

}  // namespace builtins

namespace {

using namespace oleaut;
using namespace builtins;

// ---- conversions and numbers ----

Variant CBool(Args a) { return ToBoolean(a[0]); }
Variant CByte(Args a) { return ToByte(a[0]); }
Variant CInt(Args a) { return ToInteger(a[0]); }
Variant CLng(Args a) { return ToLong(a[0]); }
Variant CSng(Args a) { return ToSingle(a[0]); }
Variant CDbl(Args a) { return ToDouble(a[0]); }
Variant CStr(Args a) { return ToString(a[0]); }
Variant CDate(Args a) { return ToDate(a[0]); }
Variant CCur(Args a) { return ToCurrency(a[0]); }

// A whole-number function that keeps its argument's type.
template <double (*Whole)(double)>
Variant KeepType(Args a) {
  const Variant v = ValueOf(a[0]);
  switch (v.Type()) {
    case VarType::Null:
    case VarType::Empty:
    case VarType::Byte:
    case VarType::Integer:
    case VarType::Long: return v.IsEmpty() ? Variant(Integer{0}) : v;
    case VarType::Boolean: return static_cast<Integer>(*v.If<VariantBool>());
    case VarType::Single: return static_cast<Single>(Whole(*v.If<Single>()));
    case VarType::Currency: return CurrencyFromDouble(Whole(ToDouble(v)));
    case VarType::Date: return Date{Whole(v.If<Date>()->days)};
    default: return Whole(ToDouble(v));
  }
}

double Floor(double x) { return std::floor(x); }
double Truncate(double x) { return std::trunc(x); }

// A Currency to `digits` places, on its scaled amount: 2.345 to two places
// is 2.34 (the tie goes to even), which the same in a Double is not.
Currency RoundCurrency(Currency c, Long digits) {
  std::int64_t unit = 1;
  for (Long d = digits; d < 4; ++d) unit *= 10;
  const double whole = RoundHalfEven(static_cast<double>(c.scaled) / static_cast<double>(unit));
  return Currency{CheckedMul(static_cast<std::int64_t>(whole), unit)};
}

// Whole numbers and Booleans come back as they are, whatever the places;
// Single and Currency keep their type; anything else is a Double.
Variant Round(Args a) {
  const Variant v = ValueOf(a[0]);
  if (v.IsNull()) return v;
  const Long digits = Given(a, 1) ? ToLong(a[1]) : 0;
  if (digits < 0) InvalidCall();
  switch (v.Type()) {
    case VarType::Empty: return Integer{0};
    case VarType::Byte:
    case VarType::Integer:
    case VarType::Long:
    case VarType::Boolean: return v;
    default: break;
  }
  if (const auto* amount = v.If<Currency>()) return RoundCurrency(*amount, digits);
  const double scale = std::pow(10.0, std::min<Long>(digits, 22));
  const double rounded = RoundHalfEven(ToDouble(v) * scale) / scale;
  if (v.Type() == VarType::Single) return static_cast<Single>(rounded);
  return rounded;
}

Variant Abs(Args a) {
  const Variant v = ValueOf(a[0]);
  switch (v.Type()) {
    case VarType::Null: return v;
    case VarType::Empty: return Integer{0};
    case VarType::Byte: return v;
    case VarType::Integer: {
      const Long n = std::abs(static_cast<Long>(*v.If<Integer>()));
      return n > 32767 ? Variant(n) : Variant(static_cast<Integer>(n));
    }
    case VarType::Long: {
      const auto n = std::abs(static_cast<double>(*v.If<Long>()));
      return n > 2147483647.0 ? Variant(n) : Variant(static_cast<Long>(n));
    }
    case VarType::Boolean: return static_cast<Integer>(IsTrue(*v.If<VariantBool>()) ? 1 : 0);
    case VarType::Single: return std::fabs(*v.If<Single>());
    case VarType::Currency: return CurrencyFromDouble(std::fabs(ToDouble(v)));
    default: return std::fabs(ToDouble(v));
  }
}

Variant Sgn(Args a) {
  const double x = ToDouble(a[0]);
  return static_cast<Integer>(x > 0 ? 1 : x < 0 ? -1 : 0);
}

template <double (*F)(double), bool Positive = false, bool NonNegative = false>
Variant MathFunction(Args a) {
  if (a[0].IsNull()) return a[0];
  const double x = ToDouble(a[0]);
  if ((Positive && !(x > 0)) || (NonNegative && x < 0)) InvalidCall();
  const double y = F(x);
  if (!std::isfinite(y)) RaiseOverflow();
  return y;
}

double Sqrt(double x) { return std::sqrt(x); }
double Exponent(double x) { return std::exp(x); }
double Logarithm(double x) { return std::log(x); }
double Sine(double x) { return std::sin(x); }
double Cosine(double x) { return std::cos(x); }
double Tangent(double x) { return std::tan(x); }
double Arctangent(double x) { return std::atan(x); }

Variant RndFunction(Args a) { return Given(a, 0) ? Rnd(ToSingle(a[0])) : Rnd(); }

// ---- tests ----

Variant IsArrayFunction(Args a) { return ToVariantBool(a[0].IsArray()); }
// An object's default value, as the tests of a value see it (Request("n")
// is tested by the text it gives); the object itself when it has none.
Variant DefaultOf(const Variant& v) {
  const auto* object = v.If<ObjectRef>();
  if (object == nullptr || !*object) return v;
  try {
    return ValueOf(v);
  } catch (const AutomationError&) {
    return v;
  }
}

Variant IsEmptyFunction(Args a) { return ToVariantBool(DefaultOf(a[0]).IsEmpty()); }
Variant IsNullFunction(Args a) { return ToVariantBool(DefaultOf(a[0]).IsNull()); }
Variant IsObjectFunction(Args a) { return ToVariantBool(a[0].IsObject()); }

Variant IsNumeric(Args a) {
  a[0] = DefaultOf(a[0]);
  switch (a[0].Type()) {
    case VarType::Empty:
    case VarType::Byte:
    case VarType::Integer:
    case VarType::Long:
    case VarType::Single:
    case VarType::Double:
    case VarType::Currency:
    case VarType::Boolean: return VariantBool::True;
    case VarType::String: {
      try {
        return ToVariantBool(ParseNumber(*a[0].If<std::string>(), CurrentNumberFormat()).has_value());
      } catch (const AutomationError&) {
        return VariantBool::True;  // a number beyond the double range is still a number
      }
    }
    default: return VariantBool::False;
  }
}

Variant IsDate(Args a) {
  a[0] = DefaultOf(a[0]);
  if (a[0].Type() == VarType::Date) return VariantBool::True;
  if (!a[0].IsString()) return VariantBool::False;
  return ToVariantBool(ParseDate(*a[0].If<std::string>()).has_value());
}

Variant TypeName(Args a) { return TypeNameOf(a[0]); }
Variant VarTypeFunction(Args a) { return static_cast<Integer>(DefaultOf(a[0]).Type()); }

// ---- arrays ----

Variant ArrayFunction(Args a) {
  return MakeArray(std::vector<Variant>(std::make_move_iterator(a.begin()), std::make_move_iterator(a.end())));
}

// The dimension (0-based) the second argument names, 1 by default; 9 when
// the array has no such dimension.
std::size_t DimensionOf(const SafeArray& array, Args a) {
  const Long d = Given(a, 1) ? ToLong(a[1]) : 1;
  if (d < 1 || static_cast<std::size_t>(d) > array.Dimensions()) RaiseRuntimeError(kSubscriptOutOfRange);
  return static_cast<std::size_t>(d - 1);
}

Variant UBound(Args a) {
  const SafeArray& array = ArrayOf(a[0]);
  const std::size_t d = DimensionOf(array, a);
  return static_cast<Long>(array.lowerBound + static_cast<Long>(array.Extent(d)) - 1);
}

Variant LBound(Args a) {
  const SafeArray& array = ArrayOf(a[0]);
  DimensionOf(array, a);
  return array.lowerBound;
}

Variant Filter(Args a) {
  const SafeArray& array = ArrayOf(a[0]);
  if (a[1].IsNull()) RaiseRuntimeError(kInvalidUseOfNull);
  const bool include = !Given(a, 2) || IsTrue(ToBoolean(a[2]));
  const bool text = TextCompare(a, 3);
  const std::string value = ToString(a[1]);
  const ComparedText sought(value, text);
  std::vector<Variant> kept;
  host::DeadlineTicker ticker;
  for (const auto& element : array.elements) {
    ticker.Tick();
    const std::string elementText = ToString(element);
    const bool found = FindBytes(ComparedText(elementText, text).View(), sought.View(), 0) != std::string::npos;
    if (found == include) kept.push_back(element);
  }
  return MakeArray(std::move(kept));
}

// ---- formatting and colours ----

// A tristate option of the Format functions: -1 is True, 0 False, -2 (or
// left out) the default.
bool OptionOf(Args a, std::size_t index, bool fallback) {
  if (!Given(a, index)) return fallback;
  const Long option = ToLong(a[index]);
  return option == -2 ? fallback : option != 0;
}

// The number of FormatNumber, FormatCurrency and FormatPercent: `x` with
// the places a[1] asks for (-1 or left out: 2), a leading zero (a[2]),
// parentheses or a sign when negative (a[3]) and groups of thousands
// (a[4]), the options read before the value. Null as the value is 13.
std::string FormatAmount(Args a, double scale, std::string_view prefix, std::string_view suffix,
                         bool parenthesesByDefault) {
  const Long digits = Given(a, 1) ? ToLong(a[1]) : -1;
  if (digits < -1 || digits > 20) InvalidCall();
  const bool leadingZero = OptionOf(a, 2, true);
  const bool parentheses = OptionOf(a, 3, parenthesesByDefault);
  const bool group = OptionOf(a, 4, true);
  if (a[0].IsNull()) RaiseRuntimeError(kTypeMismatch);
  const double x = ToDouble(a[0]) * scale;
  const int places = digits == -1 ? 2 : static_cast<int>(digits);
  std::array<char, 400> buffer{};
  std::snprintf(buffer.data(), buffer.size(), "%.*f", places, std::fabs(x));
  std::string digitsText(buffer.data());
  const std::size_t point = digitsText.find('.');
  std::string whole = digitsText.substr(0, point);
  const std::string fraction = point == std::string::npos ? "" : digitsText.substr(point + 1);
  if (whole == "0" && !leadingZero && !fraction.empty()) whole.clear();
  if (group)
    for (auto i = static_cast<std::ptrdiff_t>(whole.size()) - 3; i > 0; i -= 3)
      whole.insert(static_cast<std::size_t>(i), 1, CurrentNumberFormat().group);
  std::string text = std::string(prefix) + whole;
  if (!fraction.empty()) text += CurrentNumberFormat().decimal + fraction;
  text += suffix;
  const bool negative = x < 0 && (whole + fraction).find_first_not_of('0') != std::string::npos;
  if (!negative) return text;
  return parentheses ? "(" + text + ")" : "-" + text;
}

Variant FormatNumber(Args a) { return FormatAmount(a, 1, {}, {}, false); }
Variant FormatCurrency(Args a) { return FormatAmount(a, 1, "$", {}, true); }
Variant FormatPercent(Args a) { return FormatAmount(a, 100, {}, "%", false); }

// The engine's name and version: the last release of the language.
Variant ScriptEngine(Args) { return "VBScript"; }
Variant ScriptEngineMajorVersion(Args) { return Long{5}; }
Variant ScriptEngineMinorVersion(Args) { return Long{8}; }
Variant ScriptEngineBuildVersion(Args) { return Long{16384}; }

Variant RGBFunction(Args a) {
  const auto part = [](const Variant& v) {
    const Long n = ToLong(v);
    return static_cast<Integer>(std::clamp<Long>(n, -1, 256));
  };
  for (const auto& v : a)
    if (ToLong(v) < 0) InvalidCall();
  return RGB(part(a[0]), part(a[1]), part(a[2]));
}

constexpr BuiltinFunction kBuiltins[] = {
    {"abs", Abs, 1, 1},
    {"array", ArrayFunction, 0, 1 << 20},
    {"asc", Asc, 1, 1},
    {"ascb", AscB, 1, 1},
    {"ascw", Asc, 1, 1},
    {"atn", MathFunction<Arctangent>, 1, 1},
    {"cbool", CBool, 1, 1},
    {"cbyte", CByte, 1, 1},
    {"ccur", CCur, 1, 1},
    {"cdate", CDate, 1, 1},
    {"cdbl", CDbl, 1, 1},
    {"chr", Chr, 1, 1},
    {"chrb", ChrB, 1, 1},
    {"chrw", ChrW, 1, 1},
    {"cint", CInt, 1, 1},
    {"clng", CLng, 1, 1},
    {"cos", MathFunction<Cosine>, 1, 1},
    {"csng", CSng, 1, 1},
    {"cstr", CStr, 1, 1},
    {"date", DateFunction, 0, 0},
    {"dateadd", DateAdd, 3, 3},
    {"datediff", DateDiff, 3, 4},
    {"datepart", DatePartFunction, 2, 4},
    {"dateserial", DateSerialFunction, 3, 3},
    {"datevalue", DateValue, 1, 1},
    {"day", Day, 1, 1},
    {"exp", MathFunction<Exponent>, 1, 1},
    {"filter", Filter, 2, 4},
    {"fix", KeepType<Truncate>, 1, 1},
    {"formatcurrency", FormatCurrency, 1, 5},
    {"formatdatetime", FormatDateTime, 1, 2},
    {"formatnumber", FormatNumber, 1, 5},
    {"formatpercent", FormatPercent, 1, 5},
    {"hex", Hex, 1, 1},
    {"hour", Hour, 1, 1},
    {"instr", InStr, 2, 4},
    {"instrb", InStrB, 2, 4},
    {"instrrev", InStrRev, 2, 4},
    {"int", KeepType<Floor>, 1, 1},
    {"isarray", IsArrayFunction, 1, 1},
    {"isdate", IsDate, 1, 1},
    {"isempty", IsEmptyFunction, 1, 1},
    {"isnull", IsNullFunction, 1, 1},
    {"isnumeric", IsNumeric, 1, 1},
    {"isobject", IsObjectFunction, 1, 1},
    {"join", Join, 1, 2},
    {"lbound", LBound, 1, 2},
    {"lcase", LCase, 1, 1},
    {"left", Left, 2, 2},
    {"leftb", LeftB, 2, 2},
    {"len", Len, 1, 1},
    {"lenb", LenB, 1, 1},
    {"log", MathFunction<Logarithm, true>, 1, 1},
    {"ltrim", LTrim, 1, 1},
    {"mid", Mid, 2, 3},
    {"midb", MidB, 2, 3},
    {"minute", Minute, 1, 1},
    {"month", Month, 1, 1},
    {"monthname", MonthName, 1, 2},
    {"now", NowFunction, 0, 0},
    {"oct", Oct, 1, 1},
    // A statement, not a function: used for its value it has none to give.
    {"randomize", [](Args) -> Variant { RaiseRuntimeError(kTypeMismatch); }, 0, 1},
    {"replace", Replace, 3, 6},
    {"rgb", RGBFunction, 3, 3},
    {"right", Right, 2, 2},
    {"rightb", RightB, 2, 2},
    {"rnd", RndFunction, 0, 1},
    {"round", Round, 1, 2},
    {"rtrim", RTrim, 1, 1},
    {"scriptengine", ScriptEngine, 0, 0},
    {"scriptenginebuildversion", ScriptEngineBuildVersion, 0, 0},
    {"scriptenginemajorversion", ScriptEngineMajorVersion, 0, 0},
    {"scriptengineminorversion", ScriptEngineMinorVersion, 0, 0},
    {"second", Second, 1, 1},
    {"sgn", Sgn, 1, 1},
    {"sin", MathFunction<Sine>, 1, 1},
    {"space", Space, 1, 1},
    {"split", Split, 1, 4},
    {"sqr", MathFunction<Sqrt, false, true>, 1, 1},
    {"strcomp", StrComp, 2, 3},
    {"string", StringOf, 2, 2},
    {"strreverse", StrReverse, 1, 1},
    {"tan", MathFunction<Tangent>, 1, 1},
    {"time", TimeFunction, 0, 0},
    {"timer", TimerFunction, 0, 0},
    {"timeserial", TimeSerialFunction, 3, 3},
    {"timevalue", TimeValue, 1, 1},
    {"trim", Trim, 1, 1},
    {"typename", TypeName, 1, 1},
    {"ubound", UBound, 1, 2},
    {"ucase", UCase, 1, 1},
    {"vartype", VarTypeFunction, 1, 1},
    {"weekday", Weekday, 1, 2},
    {"weekdayname", WeekdayName, 1, 3},
    {"year", Year, 1, 1},
};

static_assert(std::ranges::is_sorted(kBuiltins, {}, &BuiltinFunction::name), "FindBuiltin searches by halves");

// The constants with a number value, each an Integer unless `isLong`
// (the colours, the message box's wider flags, vbObjectError).
struct NamedConstant {
  std::string_view name;
  std::int32_t value;
  bool isLong = false;
};

constexpr NamedConstant kNumberConstants[] = {
    {"vbempty", 0}, {"vbnull", 1}, {"vbinteger", 2}, {"vblong", 3}, {"vbsingle", 4},
    {"vbdouble", 5}, {"vbcurrency", 6}, {"vbdate", 7}, {"vbstring", 8}, {"vbobject", 9},
    {"vberror", 10}, {"vbboolean", 11}, {"vbvariant", 12}, {"vbdataobject", 13},
    {"vbdecimal", 14}, {"vbbyte", 17}, {"vbarray", 8192}, {"vbbinarycompare", 0},
    {"vbtextcompare", 1}, {"vbdatabasecompare", 2}, {"vbsunday", 1}, {"vbmonday", 2},
    {"vbtuesday", 3}, {"vbwednesday", 4}, {"vbthursday", 5}, {"vbfriday", 6}, {"vbsaturday", 7},
    {"vbusesystem", 0}, {"vbusesystemdayofweek", 0}, {"vbfirstjan1", 1}, {"vbfirstfourdays", 2},
    {"vbfirstfullweek", 3}, {"vbgeneraldate", 0}, {"vblongdate", 1}, {"vbshortdate", 2},
    {"vblongtime", 3}, {"vbshorttime", 4}, {"vbusedefault", -2}, {"vbtrue", -1}, {"vbfalse", 0},
    {"vbokonly", 0}, {"vbokcancel", 1}, {"vbabortretryignore", 2}, {"vbyesnocancel", 3},
    {"vbyesno", 4}, {"vbretrycancel", 5}, {"vbcritical", 16}, {"vbquestion", 32},
    {"vbexclamation", 48}, {"vbinformation", 64}, {"vbdefaultbutton1", 0},
    {"vbdefaultbutton2", 256}, {"vbdefaultbutton3", 512}, {"vbdefaultbutton4", 768},
    {"vbapplicationmodal", 0}, {"vbsystemmodal", 4096}, {"vbmsgboxhelpbutton", 16384, true},
    {"vbmsgboxsetforeground", 65536, true}, {"vbmsgboxright", 524288, true},
    {"vbmsgboxrtlreading", 1048576, true}, {"vbok", 1}, {"vbcancel", 2}, {"vbabort", 3},
    {"vbretry", 4}, {"vbignore", 5}, {"vbyes", 6}, {"vbno", 7},
    {"vbblack", 0x000000, true}, {"vbred", 0x0000FF, true}, {"vbgreen", 0x00FF00, true},
    {"vbyellow", 0x00FFFF, true}, {"vbblue", 0xFF0000, true}, {"vbmagenta", 0xFF00FF, true},
    {"vbcyan", 0xFFFF00, true}, {"vbwhite", 0xFFFFFF, true}, {"vbobjecterror", -2147221504, true},
};

}  // namespace

Variant RaiseWrongArgumentCount(std::span<Variant>) { RaiseRuntimeError(kWrongArgumentCount); }

const BuiltinFunction* FindBuiltin(std::string_view name) {
  const auto it = std::lower_bound(std::begin(kBuiltins), std::end(kBuiltins), name,
                                   [](const BuiltinFunction& f, std::string_view n) { return f.name < n; });
  if (it == std::end(kBuiltins) || it->name != name) return nullptr;
  return &*it;
}

std::optional<Variant> FindConstant(std::string_view name) {
  if (name == "vbcrlf" || name == "vbnewline") return Variant("\r\n");
  if (name == "vbcr") return Variant("\r");
  if (name == "vblf") return Variant("\n");
  if (name == "vbtab") return Variant("\t");
  if (name == "vbnullstring") return Variant("");
  if (name == "vbnullchar") return Variant(std::string(1, '\0'));
  if (name == "vbformfeed") return Variant("\f");
  if (name == "vbverticaltab") return Variant("\v");
  for (const auto& constant : kNumberConstants) {
    if (constant.name != name) continue;
    if (constant.isLong) return Variant(static_cast<Long>(constant.value));
    return Variant(static_cast<Integer>(constant.value));
  }
  return std::nullopt;
}

std::optional<Variant> FindLibraryConstant(std::string_view name) {
  const auto value = adodb::FindAdoConstant(name);
  if (!value) return std::nullopt;
  // Typed as the literal would be: Integer where it fits.
  if (*value >= INT16_MIN && *value <= INT16_MAX) return Variant(static_cast<Integer>(*value));
  return Variant(static_cast<Long>(*value));
}

std::optional<ScriptFunction> FindScriptFunction(std::string_view name) {
  if (name == "eval") return ScriptFunction::Eval;
  if (name == "execute") return ScriptFunction::Execute;
  if (name == "executeglobal") return ScriptFunction::ExecuteGlobal;
  if (name == "getref") return ScriptFunction::GetRef;
  return std::nullopt;
}

bool IsRefused(std::string_view name) {
  static constexpr std::string_view kRefused[] = {
      "getlocale", "getobject", "inputbox", "loadpicture", "msgbox", "setlocale"};
  return std::find(std::begin(kRefused), std::end(kRefused), name) != std::end(kRefused);
}

bool IsNumericConversion(Builtin function) {
  static constexpr Builtin kConversions[] = {CByte, CCur, CDate, CDbl, CInt, CLng, CSng};
  return std::find(std::begin(kConversions), std::end(kConversions), function) != std::end(kConversions);
}

std::string TypeNameOf(const Variant& v) {
  switch (v.Type()) {
    case VarType::Empty: return "Empty";
    case VarType::Null: return "Null";
    case VarType::Integer: return "Integer";
    case VarType::Long: return "Long";
    case VarType::Single: return "Single";
    case VarType::Double: return "Double";
    case VarType::Currency: return "Currency";
    case VarType::Date: return "Date";
    case VarType::String: return "String";
    case VarType::Error: return "Error";
    case VarType::Boolean: return "Boolean";
    case VarType::Byte: return "Byte";
    case VarType::Object: {
      const ObjectRef& object = *v.If<ObjectRef>();
      if (!object) return "Nothing";
      const auto* dispatch = dynamic_cast<const IDispatch*>(object.get());
      const InterfaceDesc* info = dispatch != nullptr ? dispatch->GetTypeInfo() : nullptr;
      if (info == nullptr) return "Object";
      std::string_view name = info->name;
      if (!name.empty() && name.front() == '_') name.remove_prefix(1);
      return std::string(name);
    }
    default: return v.IsArray() && ArrayOf(v).elementType == VarType::Byte ? "Byte()" : "Variant()";
  }
}

}  // namespace kelvane::host::vbscript
