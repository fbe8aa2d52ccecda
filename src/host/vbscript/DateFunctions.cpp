// The date functions, over the automation layer's dates.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <string>

#include "host/vbscript/BuiltinFunctions.h"
#include "platform/oleaut/DateTime.h"
#include "platform/oleaut/DispatchTable.h"
#include "platform/oleaut/Random.h"

namespace kelvane::host::vbscript::builtins {

using namespace oleaut;

namespace {

template <int DateParts::*Part>
Variant DatePart(Args a) {
  if (a[0].IsNull()) return a[0];
  return static_cast<Integer>(SplitDate(ToDate(a[0])).*Part);
}

// The serial of the first day of `month` of `year` (months roll over).
double MonthStart(int year, int month) { return DateSerial(year, month, 1).days; }

// A date's seconds counted straight through midnights, for the time intervals.
double LinearSeconds(Date d) {
  const double whole = std::trunc(d.days);
  return whole * 86400.0 + std::round(std::fabs(d.days - whole) * 86400.0);
}

enum class Interval { Year, Quarter, Month, Day, Weekday, Week, Hour, Minute, Second };

Interval IntervalOf(const Variant& v) {
  const std::string name = FoldCase(ToString(v));
  if (name == "yyyy") return Interval::Year;
  if (name == "q") return Interval::Quarter;
  if (name == "m") return Interval::Month;
  if (name == "y" || name == "d") return Interval::Day;
  if (name == "w") return Interval::Weekday;
  if (name == "ww") return Interval::Week;
  if (name == "h") return Interval::Hour;
  if (name == "n") return Interval::Minute;
  if (name == "s") return Interval::Second;
  InvalidCall();
}

constexpr const char* kDayNames[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
constexpr const char* kMonthNames[] = {"January", "February", "March", "April", "May", "June", "July",
                                       "August", "September", "October", "November", "December"};

// A name, or its first three letters when `abbreviate` holds.
Variant NameOf(const char* name, Args a, std::size_t abbreviateAt) {
  const bool abbreviate = Given(a, abbreviateAt) && IsTrue(ToBoolean(a[abbreviateAt]));
  return abbreviate ? std::string(name, 3) : std::string(name);
}

}  // namespace

Variant NowFunction(Args) { return Now(); }
Variant DateFunction(Args) { return Date{std::floor(Now().days)}; }
Variant TimeFunction(Args) {
  const double now = Now().days;
  return Date{now - std::floor(now)};
}
Variant TimerFunction(Args) { return Timer(); }

// The first day is checked before the date: a Null date gives Null only
// with a valid first day.
Variant Weekday(Args a) {
  const int first = Given(a, 1) ? static_cast<int>(ToLong(a[1])) : 1;
  if (first < 0 || first > 7) InvalidCall();
  if (a[0].IsNull()) return a[0];
  const int weekday = SplitDate(ToDate(a[0])).weekday;
  return static_cast<Integer>((weekday - (first == 0 ? 1 : first) + 7) % 7 + 1);
}

Variant DateAdd(Args a) {
  const Interval interval = IntervalOf(a[0]);
  const double n = std::trunc(ToDouble(a[1]));
  if (a[2].IsNull()) return a[2];
  const Date date = ToDate(a[2]);
  const auto months = [&](double count) {
    const DateParts parts = SplitDate(date);
    const double target = parts.month + count;
    const double start = MonthStart(parts.year, static_cast<int>(target));
    const double days = MonthStart(parts.year, static_cast<int>(target) + 1) - start;
    const double day = start + std::min<double>(parts.day, days) - 1;
    return CombineDateAndTime(day, std::fabs(date.days - std::trunc(date.days)));
  };
  switch (interval) {
    case Interval::Year: return months(12 * n);
    case Interval::Quarter: return months(3 * n);
    case Interval::Month: return months(n);
    case Interval::Day:
    case Interval::Weekday: return ToDate(Date{date.days + n});
    case Interval::Week: return ToDate(Date{date.days + 7 * n});
    case Interval::Hour: return ToDate(Date{date.days + n / 24});
    case Interval::Minute: return ToDate(Date{date.days + n / 1440});
    case Interval::Second: return ToDate(Date{date.days + n / 86400});
  }
  InvalidCall();
}

Variant DateDiff(Args a) {
  const Interval interval = IntervalOf(a[0]);
  if (a[1].IsNull() || a[2].IsNull()) return Variant::Null();
  const Date from = ToDate(a[1]);
  const Date to = ToDate(a[2]);
  const DateParts p = SplitDate(from);
  const DateParts q = SplitDate(to);
  const double fromDay = std::floor(from.days);
  const double toDay = std::floor(to.days);
  const auto whole = [](double x) { return Variant(static_cast<Long>(x)); };
  switch (interval) {
    case Interval::Year: return whole(q.year - p.year);
    case Interval::Quarter: return whole((q.year * 4 + (q.month - 1) / 3) - (p.year * 4 + (p.month - 1) / 3));
    case Interval::Month: return whole((q.year * 12 + q.month) - (p.year * 12 + p.month));
    case Interval::Day: return whole(toDay - fromDay);
    case Interval::Weekday: return whole(std::trunc((toDay - fromDay) / 7));
    case Interval::Week: return whole(((toDay - (q.weekday - 1)) - (fromDay - (p.weekday - 1))) / 7);
    case Interval::Hour:
      return whole(std::floor(LinearSeconds(to) / 3600) - std::floor(LinearSeconds(from) / 3600));
    case Interval::Minute:
      return whole(std::floor(LinearSeconds(to) / 60) - std::floor(LinearSeconds(from) / 60));
    case Interval::Second: return whole(LinearSeconds(to) - LinearSeconds(from));
  }
  InvalidCall();
}

Variant MonthName(Args a) {
  RefuseNull(a);
  const Long month = ToLong(a[0]);
  if (month < 1 || month > 12) InvalidCall();
  return NameOf(kMonthNames[month - 1], a, 1);
}

Variant WeekdayName(Args a) {
  const Long day = ToLong(a[0]);
  const Long first = Given(a, 2) ? ToLong(a[2]) : 1;
  if (day < 1 || day > 7 || first < 0 || first > 7) InvalidCall();
  return NameOf(kDayNames[(day - 1 + (first == 0 ? 1 : first) - 1) % 7], a, 1);
}

Variant DateValue(Args a) {
  if (a[0].IsNull()) return a[0];
  return Date{std::trunc(ToDate(a[0]).days)};
}

Variant TimeValue(Args a) {
  if (a[0].IsNull()) return a[0];
  const double days = ToDate(a[0]).days;
  return Date{std::fabs(days - std::trunc(days))};
}

Variant DatePartFunction(Args a) {
  if (a[1].IsNull()) return a[1];
  const Interval interval = IntervalOf(a[0]);
  const Date date = ToDate(a[1]);
  const DateParts p = SplitDate(date);
  switch (interval) {
    case Interval::Year: return static_cast<Integer>(p.year);
    case Interval::Quarter: return static_cast<Integer>((p.month - 1) / 3 + 1);
    case Interval::Month: return static_cast<Integer>(p.month);
    case Interval::Day: {
      if (FoldCase(ToString(a[0])) == "y") return static_cast<Integer>(std::floor(date.days) - DateSerial(p.year, 1, 1).days + 1);
      return static_cast<Integer>(p.day);
    }
    case Interval::Weekday: return static_cast<Integer>(p.weekday);
    case Interval::Week: {
      const double first = DateSerial(p.year, 1, 1).days;
      const int firstWeekday = SplitDate(Date{first}).weekday;
      return static_cast<Integer>((std::floor(date.days) - first + firstWeekday - 1) / 7 + 1);
    }
    case Interval::Hour: return static_cast<Integer>(p.hour);
    case Interval::Minute: return static_cast<Integer>(p.minute);
    case Interval::Second: return static_cast<Integer>(p.second);
  }
  InvalidCall();
}

Variant DateSerialFunction(Args a) {
  if (AnyNull(a)) RaiseRuntimeError(kInvalidUseOfNull);
  return DateSerial(ToDouble(a[0]), ToDouble(a[1]), ToDouble(a[2]));
}

Variant TimeSerialFunction(Args a) {
  if (AnyNull(a)) RaiseRuntimeError(kInvalidUseOfNull);
  const double time = TimeSerial(ToDouble(a[0]), ToDouble(a[1]), ToDouble(a[2]));
  return ToDate(Date{time});
}

Variant FormatDateTime(Args a) {
  const Long format = Given(a, 1) ? ToLong(a[1]) : 0;
  if (a[0].IsNull()) RaiseRuntimeError(kTypeMismatch);
  const Date date = ToDate(a[0]);
  const DateParts p = SplitDate(date);
  std::array<char, 64> buffer{};
  switch (format) {
    case 0: return FormatDate(date);
    case 1:
      std::snprintf(buffer.data(), buffer.size(), "%s, %s %d, %d", kDayNames[p.weekday - 1],
                    kMonthNames[p.month - 1], p.day, p.year);
      return std::string(buffer.data());
    case 2: return FormatDate(Date{std::trunc(date.days) == 0 ? 0 : std::trunc(date.days)}).substr(0);
    case 3: return FormatDate(Date{std::fabs(date.days - std::trunc(date.days))});
    case 4:
      std::snprintf(buffer.data(), buffer.size(), "%02d:%02d", p.hour, p.minute);
      return std::string(buffer.data());
    default: InvalidCall();
  }
}
Variant Year(Args a) { return DatePart<&DateParts::year>(a); }
Variant Month(Args a) { return DatePart<&DateParts::month>(a); }
Variant Day(Args a) { return DatePart<&DateParts::day>(a); }
Variant Hour(Args a) { return DatePart<&DateParts::hour>(a); }
Variant Minute(Args a) { return DatePart<&DateParts::minute>(a); }
Variant Second(Args a) { return DatePart<&DateParts::second>(a); }

}  // namespace kelvane::host::vbscript::builtins
