#pragma once
// Dates as the runtime keeps them: a Date variant is a count of days since
// 1899-12-30, the time of day as the fraction. Years run from 100 to 9999;
// anything beyond raises 5 when made from parts and 13 when read from text.
// Text is US English: "2/29/2024", "3:04:05 PM", "2/29/2024 3:04:05 PM".

#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "platform/oleaut/Variant.h"

namespace kelvane::oleaut {

// A date split into its parts; `weekday` is 1 for Sunday to 7 for Saturday.
struct DateParts {
  int year = 1899;
  int month = 12;
  int day = 30;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int weekday = 7;
};

// The date of `year`, `month` and `day`, where months and days out of their
// range roll over (month 13 is January of the next year, day 0 the last of
// the month before). Years 0 to 29 are 2000 to 2029, 30 to 99 are 1930 to
// 1999. 5 when the result lies outside years 100 to 9999.
Date DateSerial(double year, double month, double day);
// A time of day as a fraction of a day; parts out of range roll over into
// whole days.
double TimeSerial(double hour, double minute, double second);
// The parts of `date`, its time rounded to the second.
DateParts SplitDate(Date date);
// A date with the day of `date` and the time of day of `time`.
Date CombineDateAndTime(double day, double time);

// The text of a date: the day alone when the time is midnight, the time
// alone when the day is 1899-12-30, otherwise both.
std::string FormatDate(Date date);
// Reads "m/d/yyyy", "yyyy-m-d" or "yyyy/m/d", a time "h:mm[:ss] [AM|PM]",
// or both; nullopt when the text is no date.
std::optional<Date> ParseDate(std::string_view text);

// A variant as a Date: a date as it is, a number as days, text read as a
// date or else as a number. 13 when it is neither, 94 for Null, 5 out of range.
Date ToDate(const Variant& v);

// The local time of `seconds` since 1970 (UTC), to the second.
Date LocalDate(std::time_t seconds);
// The local time now.
Date Now();

}  // namespace kelvane::oleaut
