#include "platform/oleaut/DateTime.h"

#include <chrono>
#include <cmath>
#include <ctime>

#include "platform/oleaut/AutomationError.h"
#include "platform/oleaut/Conversion.h"

namespace kelvane::oleaut {

namespace {

constexpr long kDaysFrom1970 = 25569;  // 1970-01-01 as a day count
constexpr double kSecondsPerDay = 86400.0;
// 100-01-01 and 9999-12-31 as day counts.
constexpr double kFirstDay = -657434.0;
constexpr double kLastDay = 2958465.0;

// Days since 1970-01-01 of a date in the proleptic Gregorian calendar.
long DaysFromCivil(long year, long month, long day) {
  year -= month <= 2 ? 1 : 0;
  const long era = (year >= 0 ? year : year - 399) / 400;
  const long yearOfEra = year - era * 400;
  const long dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

void CivilFromDays(long days, int& year, int& month, int& day) {
  days += 719468;
  const long era = (days >= 0 ? days : days - 146096) / 146097;
  const long dayOfEra = days - era * 146097;
  const long yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const long monthIndex = (5 * dayOfYear + 2) / 153;
  day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
  month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
  year = static_cast<int>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

bool InRange(double days) { return days >= kFirstDay && days < kLastDay + 1.0; }

int ExpandYear(int year) {
  if (year < 30) return year + 2000;
  if (year < 100) return year + 1900;
  return year;
}

// A small reader over date text.
class DateReader {
 public:
  explicit DateReader(std::string_view text) : text_(text) {}

  void SkipBlanks() {
    while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t')) ++at_;
  }
  bool AtEnd() {
    SkipBlanks();
    return at_ == text_.size();
  }
  // Digits as a number, and how many there were; -1 when there are none.
  int Number(int& digits) {
    SkipBlanks();
    long value = 0;
    digits = 0;
    while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9' && digits < 9) {
      value = value * 10 + (text_[at_++] - '0');
      ++digits;
    }
    return digits == 0 ? -1 : static_cast<int>(value);
  }
  bool Take(char c) {
    if (at_ < text_.size() && text_[at_] == c) {
      ++at_;
      return true;
    }
    return false;
  }
  char Peek() const { return at_ < text_.size() ? text_[at_] : '\0'; }
  std::size_t Position() const { return at_; }
  void Rewind(std::size_t at) { at_ = at; }
  // "AM"/"PM" or "A"/"P" in any case: 1 for PM, 0 for AM, -1 for neither.
  int Meridiem() {
    SkipBlanks();
    const char c = static_cast<char>(Peek() | 0x20);
    if (c != 'a' && c != 'p') return -1;
    ++at_;
    if ((Peek() | 0x20) == 'm') ++at_;
    return c == 'p' ? 1 : 0;
  }

 private:
  std::string_view text_;
  std::size_t at_ = 0;
};

std::optional<double> ReadDay(DateReader& in) {
  int digits = 0;
  const int first = in.Number(digits);
  const int firstDigits = digits;
  const char separator = in.Peek();
  if (first < 0 || (separator != '/' && separator != '-')) return std::nullopt;
  in.Take(separator);
  const int second = in.Number(digits);
  if (second < 0 || !in.Take(separator)) return std::nullopt;
  int third = in.Number(digits);
  if (third < 0) return std::nullopt;
  int year = 0, month = 0, day = 0;
  if (firstDigits >= 3) {
    year = first, month = second, day = third;
  } else {
    month = first, day = second, year = digits <= 2 ? ExpandYear(third) : third;
  }
  if (year < 100 || year > 9999 || month < 1 || month > 12 || day < 1 ||
      day > DaysInMonth(year, month))
    return std::nullopt;
  return static_cast<double>(DaysFromCivil(year, month, day) + kDaysFrom1970);
}

std::optional<double> ReadTime(DateReader& in) {
  int digits = 0;
  int hour = in.Number(digits);
  if (hour < 0 || !in.Take(':')) return std::nullopt;
  const int minute = in.Number(digits);
  if (minute < 0) return std::nullopt;
  int second = 0;
  if (in.Take(':')) {
    second = in.Number(digits);
    if (second < 0) return std::nullopt;
  }
  const int meridiem = in.Meridiem();
  if (meridiem >= 0) {
    if (hour < 1 || hour > 12) return std::nullopt;
    hour = hour % 12 + (meridiem == 1 ? 12 : 0);
  }
  if (hour > 23 || minute > 59 || second > 59) return std::nullopt;
  return (hour * 3600.0 + minute * 60.0 + second) / kSecondsPerDay;
}

}  // namespace

Date DateSerial(double year, double month, double day) {
  double y = std::floor(year);
  if (y >= 0 && y < 100) y = ExpandYear(static_cast<int>(y));
  const double m = std::floor(month) - 1;
  y += std::floor(m / 12);
  const double monthIndex = m - 12 * std::floor(m / 12);
  if (!(y >= 100 && y <= 9999) || !std::isfinite(day)) RaiseRuntimeError(kInvalidProcedureCall);
  const double days = static_cast<double>(DaysFromCivil(static_cast<long>(y),
                                                       static_cast<long>(monthIndex) + 1, 1) +
                                          kDaysFrom1970) +
                      std::floor(day) - 1;
  if (!InRange(days)) RaiseRuntimeError(kInvalidProcedureCall);
  return Date{days};
}

double TimeSerial(double hour, double minute, double second) {
  return (std::floor(hour) * 3600.0 + std::floor(minute) * 60.0 + std::floor(second)) /
         kSecondsPerDay;
}

Date CombineDateAndTime(double day, double time) {
  const double whole = std::trunc(day);
  return Date{whole < 0 ? whole - time : whole + time};
}

DateParts SplitDate(Date date) {
  if (!InRange(date.days)) RaiseRuntimeError(kInvalidProcedureCall);
  double whole = std::trunc(date.days);
  double seconds = std::round(std::fabs(date.days - whole) * kSecondsPerDay);
  if (seconds >= kSecondsPerDay) {
    seconds -= kSecondsPerDay;
    whole += date.days < 0 ? -1 : 1;
  }
  DateParts parts;
  const auto day = static_cast<long>(whole);
  CivilFromDays(day - kDaysFrom1970, parts.year, parts.month, parts.day);
  const auto secondOfDay = static_cast<int>(seconds);
  parts.hour = secondOfDay / 3600;
  parts.minute = secondOfDay / 60 % 60;
  parts.second = secondOfDay % 60;
  parts.weekday = static_cast<int>(((day + 6) % 7 + 7) % 7) + 1;
  return parts;
}

std::string FormatDate(Date date) {
  const DateParts parts = SplitDate(date);
  const bool hasDay = std::trunc(date.days) != 0;
  const bool hasTime = parts.hour != 0 || parts.minute != 0 || parts.second != 0;
  std::string text;
  if (hasDay) {
    text = std::to_string(parts.month) + "/" + std::to_string(parts.day) + "/" +
           std::to_string(parts.year);
    if (!hasTime) return text;
    text += ' ';
  }
  const int hour12 = parts.hour % 12 == 0 ? 12 : parts.hour % 12;
  const auto two = [](int n) { return std::string(n < 10 ? "0" : "") + std::to_string(n); };
  text += std::to_string(hour12) + ":" + two(parts.minute) + ":" + two(parts.second) +
          (parts.hour < 12 ? " AM" : " PM");
  return text;
}

std::optional<Date> ParseDate(std::string_view text) {
  DateReader in(text);
  double day = 0.0;
  double time = 0.0;
  const std::size_t start = in.Position();
  if (const auto read = ReadDay(in)) {
    day = *read;
  } else {
    in.Rewind(start);
  }
  const std::size_t beforeTime = in.Position();
  if (!in.AtEnd()) {
    const auto read = ReadTime(in);
    if (!read || !in.AtEnd()) return std::nullopt;
    time = *read;
  } else if (beforeTime == start) {
    return std::nullopt;
  }
  return CombineDateAndTime(day, time);
}

Date ToDate(const Variant& v) {
  const Variant value = ValueOf(v);
  Date date;
  if (const auto* d = value.If<Date>()) {
    date = *d;
  } else if (const auto* text = value.If<std::string>()) {
    if (auto parsed = ParseDate(*text)) {
      date = *parsed;
    } else {
      const auto number = ParseNumber(*text, CurrentNumberFormat());
      if (!number) RaiseRuntimeError(kTypeMismatch);
      date = Date{*number};
    }
  } else {
    date = Date{ToDouble(value)};
  }
  if (!InRange(date.days)) RaiseRuntimeError(kInvalidProcedureCall);
  return date;
}

Date LocalDate(std::time_t seconds) {
  std::tm local{};
  localtime_r(&seconds, &local);
  const double day =
      static_cast<double>(DaysFromCivil(local.tm_year + 1900L, local.tm_mon + 1L, local.tm_mday) +
                          kDaysFrom1970);
  return Date{day + TimeSerial(local.tm_hour, local.tm_min, local.tm_sec)};
}

Date Now() { return LocalDate(std::time(nullptr)); }

}  // namespace kelvane::oleaut
