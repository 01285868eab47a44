#include "platform/DateTime.h"

#include <time.h>

#include <cmath>
#include <cstdint>
#include <cstdio>

namespace {

constexpr int64_t kMsPerDay = 86400000;
// Days from 1899-12-30 (day 0 of TDateTime) to 1970-01-01 (day 0 of the Unix clock).
constexpr int64_t kUnixEpochDay = 25569;
// Beyond this many days (about 270 million years) the milliseconds would overflow.
constexpr double kMaxDays = 1e11;

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's days_from_civil).
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  // Months outside 1..12 carry into the year.
  int64_t m0 = m - 1;
  y += (m0 >= 0 ? m0 : m0 - 11) / 12;
  m = m0 - ((m0 >= 0 ? m0 : m0 - 11) / 12) * 12 + 1;
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;                                    // [0, 399]
  const int64_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;  // [0, 365]
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;            // [0, 146096]
  return era * 146097 + doe - 719468;
}

// The date of a count of days since 1970-01-01 (H. Hinnant's civil_from_days).
void CivilFromDays(int64_t z, int& year, int& month, int& day) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;                                       // [0, 146096]
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;  // [0, 399]
  const int64_t y = yoe + era * 400;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);  // [0, 365]
  const int64_t mp = (5 * doy + 2) / 153;                       // [0, 11]
  const int64_t d = doy - (153 * mp + 2) / 5 + 1;               // [1, 31]
  const int64_t m = mp < 10 ? mp + 3 : mp - 9;                  // [1, 12]
  year = static_cast<int>(y + (m <= 2));
  month = static_cast<int>(m);
  day = static_cast<int>(d);
}

// A TDateTime from its day number and time of day. Before day 0 the time of day is
// subtracted, as the class library does: day -1 at 06:00 is -1.25.
TDateTime Compose(int64_t day, int64_t msOfDay) {
  double time = static_cast<double>(msOfDay) / static_cast<double>(kMsPerDay);
  double d = static_cast<double>(day);
  return day >= 0 ? d + time : d - time;
}

// The day number and the time of day (milliseconds, rounded) of a TDateTime.
void Split(TDateTime dt, int64_t& day, int64_t& msOfDay) {
  if (!std::isfinite(dt)) dt = 0;
  if (dt > kMaxDays) dt = kMaxDays;
  if (dt < -kMaxDays) dt = -kMaxDays;
  int64_t total = std::llround(dt * static_cast<double>(kMsPerDay));
  day = total / kMsPerDay;  // towards zero: the integral part is the day
  msOfDay = total % kMsPerDay;
  if (msOfDay < 0) msOfDay = -msOfDay;  // the fraction of a negative value is still a time
}

std::string TwoDigits(int v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d", v);
  return buf;
}

}  // namespace

TDateTime EncodeDateTime(const DateTimeParts& p) {
  int64_t day = DaysFromCivil(p.Year, p.Month, p.Day) + kUnixEpochDay;
  int64_t ms = static_cast<int64_t>(p.Hour) * 3600000 + static_cast<int64_t>(p.Minute) * 60000 +
               static_cast<int64_t>(p.Second) * 1000 + p.Millisecond;
  return Compose(day, ms);
}

DateTimeParts DecodeDateTime(TDateTime dt) {
  int64_t day, ms;
  Split(dt, day, ms);
  DateTimeParts p{};
  CivilFromDays(day - kUnixEpochDay, p.Year, p.Month, p.Day);
  p.Hour = static_cast<int>(ms / 3600000);
  p.Minute = static_cast<int>(ms / 60000 % 60);
  p.Second = static_cast<int>(ms / 1000 % 60);
  p.Millisecond = static_cast<int>(ms % 1000);
  return p;
}

TDateTime DateTimeFromTimePoint(std::chrono::system_clock::time_point tp) {
  auto ms = std::chrono::floor<std::chrono::milliseconds>(tp.time_since_epoch()).count();
  int64_t days = ms / kMsPerDay;
  int64_t rest = ms % kMsPerDay;
  if (rest < 0) {
    rest += kMsPerDay;
    --days;
  }
  return Compose(days + kUnixEpochDay, rest);
}

std::chrono::system_clock::time_point DateTimeToTimePoint(TDateTime dt) {
  int64_t day, ms;
  Split(dt, day, ms);
  std::chrono::milliseconds since((day - kUnixEpochDay) * kMsPerDay + ms);
  return std::chrono::system_clock::time_point(
      std::chrono::duration_cast<std::chrono::system_clock::duration>(since));
}

TDateTime Now() {
  struct timespec ts;
  ::clock_gettime(CLOCK_REALTIME, &ts);
  time_t secs = ts.tv_sec;
  struct tm local;
  if (::localtime_r(&secs, &local) == nullptr) {
    return DateTimeFromTimePoint(std::chrono::system_clock::now());
  }
  DateTimeParts p;
  p.Year = local.tm_year + 1900;
  p.Month = local.tm_mon + 1;
  p.Day = local.tm_mday;
  p.Hour = local.tm_hour;
  p.Minute = local.tm_min;
  p.Second = local.tm_sec > 59 ? 59 : local.tm_sec;  // a leap second
  p.Millisecond = static_cast<int>(ts.tv_nsec / 1000000);
  return EncodeDateTime(p);
}

std::string DateToStr(TDateTime dt) {
  DateTimeParts p = DecodeDateTime(dt);
  char buf[48];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", p.Year, p.Month, p.Day);
  return buf;
}

std::string TimeToStr(TDateTime dt) {
  DateTimeParts p = DecodeDateTime(dt);
  return TwoDigits(p.Hour) + ":" + TwoDigits(p.Minute) + ":" + TwoDigits(p.Second);
}

std::string DateTimeToStr(TDateTime dt) {
  return DateToStr(dt) + " " + TimeToStr(dt);
}
