// The class library's date-time: a double of days since 30 December 1899, the fraction
// being the time of day. Conversions to text use fixed formats (yyyy-mm-dd, hh:nn:ss).
#pragma once

#include <chrono>
#include <string>

using TDateTime = double;

struct DateTimeParts {
  int Year, Month, Day, Hour, Minute, Second, Millisecond;
};

TDateTime EncodeDateTime(const DateTimeParts& p);
DateTimeParts DecodeDateTime(TDateTime dt);
// Wall-clock conversions: the date-time is read as UTC.
TDateTime DateTimeFromTimePoint(std::chrono::system_clock::time_point tp);
std::chrono::system_clock::time_point DateTimeToTimePoint(TDateTime dt);
// The current local date and time.
TDateTime Now();
std::string DateToStr(TDateTime dt);      // "2026-12-11"
std::string TimeToStr(TDateTime dt);      // "08:40:04"
std::string DateTimeToStr(TDateTime dt);  // "2026-12-11 08:40:04"
