#include "platform/DateTime.h"

#include <gtest/gtest.h>
#include <time.h>

#include <chrono>
#include <cmath>
#include <string>

namespace {

void ExpectParts(const DateTimeParts& p, int y, int mo, int d, int h, int mi, int s, int ms) {
  EXPECT_EQ(p.Year, y);
  EXPECT_EQ(p.Month, mo);
  EXPECT_EQ(p.Day, d);
  EXPECT_EQ(p.Hour, h);
  EXPECT_EQ(p.Minute, mi);
  EXPECT_EQ(p.Second, s);
  EXPECT_EQ(p.Millisecond, ms);
}

}  // namespace

TEST(DateTimeTest, DayZero) {
  ExpectParts(DecodeDateTime(0), 1899, 12, 30, 0, 0, 0, 0);
  EXPECT_EQ(EncodeDateTime({1899, 12, 30, 0, 0, 0, 0}), 0.0);
  EXPECT_EQ(DateTimeToStr(0), "1899-12-30 00:00:00");
}

TEST(DateTimeTest, DayTwoAndAHalf) {
  ExpectParts(DecodeDateTime(2.5), 1900, 1, 1, 12, 0, 0, 0);
  EXPECT_EQ(EncodeDateTime({1900, 1, 1, 12, 0, 0, 0}), 2.5);
}

TEST(DateTimeTest, KnownDates) {
  struct Case {
    double serial;
    int y, m, d;
    const char* text;
  };
  const Case cases[] = {
      {1, 1899, 12, 31, "1899-12-31"},       {2, 1900, 1, 1, "1900-01-01"},
      {60, 1900, 2, 28, "1900-02-28"},       {61, 1900, 3, 1, "1900-03-01"},  // 1900: no leap day
      {25569, 1970, 1, 1, "1970-01-01"},     {36526, 2000, 1, 1, "2000-01-01"},
      {36585, 2000, 2, 29, "2000-02-29"},    {45000, 2023, 3, 15, "2023-03-15"},
      {45351, 2024, 2, 29, "2024-02-29"},    {46367, 2026, 12, 11, "2026-12-11"},
      {-1, 1899, 12, 29, "1899-12-29"},      {-693593, 1, 1, 1, "0001-01-01"},
      {2958465, 9999, 12, 31, "9999-12-31"},
  };
  for (const Case& c : cases) {
    DateTimeParts p = DecodeDateTime(c.serial);
    ExpectParts(p, c.y, c.m, c.d, 0, 0, 0, 0);
    EXPECT_EQ(EncodeDateTime({c.y, c.m, c.d, 0, 0, 0, 0}), c.serial) << c.text;
    EXPECT_EQ(DateToStr(c.serial), c.text);
  }
}

TEST(DateTimeTest, NegativeValuesKeepTheTimeOfDay) {
  // -1.25 is the day before day 0... minus one, at 06:00, as in the class library.
  ExpectParts(DecodeDateTime(-1.25), 1899, 12, 29, 6, 0, 0, 0);
  EXPECT_EQ(EncodeDateTime({1899, 12, 29, 6, 0, 0, 0}), -1.25);
  EXPECT_EQ(DateTimeToStr(-1.25), "1899-12-29 06:00:00");
  ExpectParts(DecodeDateTime(-2.75), 1899, 12, 28, 18, 0, 0, 0);
  EXPECT_EQ(EncodeDateTime({1899, 12, 28, 18, 0, 0, 0}), -2.75);
}

TEST(DateTimeTest, TimeOfDay) {
  TDateTime dt = EncodeDateTime({2026, 12, 11, 8, 40, 4, 0});
  EXPECT_EQ(DateTimeToStr(dt), "2026-12-11 08:40:04");
  EXPECT_EQ(DateToStr(dt), "2026-12-11");
  EXPECT_EQ(TimeToStr(dt), "08:40:04");
  EXPECT_EQ(TimeToStr(0.75), "18:00:00");
  EXPECT_EQ(TimeToStr(45000 + 23.0 / 24 + 59.0 / 1440 + 59.0 / 86400), "23:59:59");
}

TEST(DateTimeTest, MillisecondsAreRounded) {
  TDateTime dt = EncodeDateTime({2023, 3, 15, 13, 14, 15, 678});
  ExpectParts(DecodeDateTime(dt), 2023, 3, 15, 13, 14, 15, 678);
  // Half a millisecond short of midnight rounds into the next day.
  ExpectParts(DecodeDateTime(45000 + (86400000 - 0.4) / 86400000.0), 2023, 3, 16, 0, 0, 0, 0);
  ExpectParts(DecodeDateTime(45000 + 0.6 / 86400000.0), 2023, 3, 15, 0, 0, 0, 1);
}

TEST(DateTimeTest, RoundTrips) {
  const DateTimeParts parts[] = {
      {2023, 3, 15, 0, 0, 0, 0},       {2024, 2, 29, 23, 59, 59, 999}, {1900, 1, 1, 12, 0, 0, 1},
      {1899, 12, 30, 0, 0, 0, 1},      {1800, 6, 15, 6, 30, 0, 500},   {1, 1, 1, 0, 0, 0, 0},
      {9999, 12, 31, 23, 59, 59, 999}, {1970, 1, 1, 0, 0, 0, 0},       {2038, 1, 19, 3, 14, 8, 0},
  };
  for (const DateTimeParts& p : parts) {
    DateTimeParts back = DecodeDateTime(EncodeDateTime(p));
    ExpectParts(back, p.Year, p.Month, p.Day, p.Hour, p.Minute, p.Second, p.Millisecond);
  }
  for (int day = -800000; day <= 3000000; day += 997) {
    DateTimeParts p = DecodeDateTime(day);
    EXPECT_EQ(EncodeDateTime(p), day);
  }
}

TEST(DateTimeTest, TimePoints) {
  using namespace std::chrono;
  system_clock::time_point epoch{};
  EXPECT_EQ(DateTimeFromTimePoint(epoch), 25569.0);
  EXPECT_EQ(DateTimeToTimePoint(25569.0), epoch);
  // 2023-03-15 12:00:00 UTC
  system_clock::time_point noon = epoch + seconds(1678881600);
  EXPECT_EQ(DateTimeFromTimePoint(noon), 45000.5);
  EXPECT_EQ(DateTimeToTimePoint(45000.5), noon);
  // Before 1970, and before day 0.
  system_clock::time_point before = epoch - hours(24) + hours(6);  // 1969-12-31 06:00
  EXPECT_EQ(DateTimeFromTimePoint(before), 25568.25);
  EXPECT_EQ(DateTimeToTimePoint(25568.25), before);
  system_clock::time_point veryEarly = epoch - hours(24 * 25570) + hours(6);  // 1899-12-29 06:00
  EXPECT_EQ(DateTimeFromTimePoint(veryEarly), -1.25);
  EXPECT_EQ(DateTimeToTimePoint(-1.25), veryEarly);
  system_clock::time_point withMs = noon + milliseconds(123);
  EXPECT_EQ(DateTimeToTimePoint(DateTimeFromTimePoint(withMs)), withMs);
}

TEST(DateTimeTest, NowIsLocalTime) {
  time_t t = ::time(nullptr);
  struct tm local;
  ASSERT_NE(::localtime_r(&t, &local), nullptr);
  DateTimeParts p = DecodeDateTime(Now());
  TDateTime expected = EncodeDateTime({local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                                       local.tm_hour, local.tm_min, local.tm_sec, 0});
  TDateTime got = EncodeDateTime(p);
  EXPECT_LT(std::fabs(got - expected) * 86400.0, 5.0);
}

TEST(DateTimeTest, NonFiniteValuesDoNotCrash) {
  EXPECT_EQ(DateTimeToStr(NAN), "1899-12-30 00:00:00");
  EXPECT_FALSE(DateTimeToStr(INFINITY).empty());
}
