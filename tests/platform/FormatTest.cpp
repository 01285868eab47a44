#include "platform/Format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "platform/Exception.h"

namespace {

struct FormatCase {
  const char* Fmt;
  std::vector<FormatArg> Args;
  const char* Expected;
};

std::string FormatWith(const char* fmt, const std::vector<FormatArg>& args) {
  // Format takes an initializer list; the cases need at most three arguments.
  switch (args.size()) {
    case 0:
      return Format(fmt, {});
    case 1:
      return Format(fmt, {args[0]});
    case 2:
      return Format(fmt, {args[0], args[1]});
    default:
      return Format(fmt, {args[0], args[1], args[2]});
  }
}

TEST(FormatTest, FormatsTableOfCases) {
  const double inf = std::numeric_limits<double>::infinity();
  const std::vector<FormatCase> cases = {
      {"plain text", {}, "plain text"},
      {"100%%", {}, "100%"},
      {"%d|%d|%d", {0, -42, 2147483647}, "0|-42|2147483647"},
      {"%d", {-9223372036854775807LL - 1}, "-9223372036854775808"},
      {"%d", {18446744073709551615ULL}, "18446744073709551615"},
      {"%5d|", {42}, "   42|"},
      {"%-5d|", {42}, "42   |"},
      {"%.3d", {7}, "007"},
      {"%.3d", {-7}, "-007"},
      {"%5.3d", {7}, "  007"},
      {"%.3d", {12345}, "12345"},
      {"%u", {4000000000U}, "4000000000"},
      {"%u", {-1}, "4294967295"},
      {"%x|%X", {255, 255}, "FF|FF"},
      {"%.4x", {10}, "000A"},
      {"%x", {-1}, "FFFFFFFF"},
      {"%s", {"abc"}, "abc"},
      {"%20s|", {"right"}, "               right|"},
      {"%-5s|", {"ab"}, "ab   |"},
      {"%-5s|", {"toolong"}, "toolong|"},
      {"%.3s", {"abcdef"}, "abc"},
      {"%5.2s|", {"abcdef"}, "   ab|"},
      {"%s", {""}, ""},
      {"%*d|", {6, 42}, "    42|"},
      {"%S %D", {"x", 1}, "x 1"},
      {"%f", {1.0}, "1.00"},
      {"%f", {3.14159}, "3.14"},
      {"%f", {-0.5}, "-0.50"},
      {"%.0f", {2.5}, "3"},
      {"%.0f", {-2.5}, "-3"},
      {"%.1f", {1.25}, "1.3"},
      {"%.1f", {1.15}, "1.2"},
      {"%.2f", {2.675}, "2.68"},
      {"%.1f", {-1.25}, "-1.3"},
      {"%.1f", {0.05}, "0.1"},
      {"%.2f", {1.005}, "1.01"},
      {"%.1f", {9.96}, "10.0"},
      {"%.2f", {-0.001}, "0.00"},
      {"%.2f", {0.0}, "0.00"},
      {"%.3f", {1e-10}, "0.000"},
      {"%.2f", {123456789012.345}, "123456789012.35"},
      {"%.2f", {1e20}, "100000000000000000000.00"},
      {"%8.2f|", {3.14159}, "    3.14|"},
      {"%-8.1f|", {3.14159}, "3.1     |"},
      {"%f", {std::nan("")}, "NAN"},
      {"%f|%f", {inf, -inf}, "INF|-INF"},
      {"%5f|", {inf}, "  INF|"},
      {"%n", {1234567.891}, "1,234,567.89"},
      {"%n", {-1234.5}, "-1,234.50"},
      {"%n", {999.999}, "1,000.00"},
      {"%.0n", {1234.5}, "1,235"},
      {"%n", {12.0}, "12.00"},
      {"%e", {1234.5}, "1.23450000000000E+003"},
      {"%e", {-0.000123}, "-1.23000000000000E-004"},
      {"%.3e", {0.0}, "0.00E+000"},
      {"%.3e", {9.9996}, "1.00E+001"},
      {"%.1e", {1.5e300}, "2E+300"},
      {"%g", {0.0}, "0"},
      {"%g", {1.5}, "1.5"},
      {"%g", {100.0}, "100"},
      {"%g", {0.1}, "0.1"},
      {"%g", {0.00001}, "0.00001"},
      {"%g", {0.000001}, "1E-006"},
      {"%g", {1e20}, "1E+020"},
      {"%g", {-123456.789}, "-123456.789"},
      {"%.3g", {1234.0}, "1.23E+003"},
      {"%g", {1.0 / 3}, "0.333333333333333"},
  };
  for (const FormatCase& c : cases) {
    EXPECT_EQ(FormatWith(c.Fmt, c.Args), c.Expected) << "format " << c.Fmt;
  }
}

TEST(FormatTest, VeryLargeValuesAreWrittenInFull) {
  std::string text = Format("%.2f", {1.7976931348623157e308});
  ASSERT_EQ(text.size(), 309u + 3u);
  EXPECT_EQ(text.substr(0, 15), "179769313486232");
  EXPECT_EQ(text.substr(15, 294), std::string(294, '0'));
  EXPECT_EQ(text.substr(309), ".00");
  EXPECT_EQ(Format("%n", {-1e300}).size(), 1u + 301u + 100u + 3u);
}

TEST(FormatTest, FloatToFixedRoundsHalvesAwayFromZero) {
  EXPECT_EQ(FloatToFixed(1.25, 1), "1.3");
  EXPECT_EQ(FloatToFixed(-2.675, 2), "-2.68");
  EXPECT_EQ(FloatToFixed(0.5, 0), "1");
  EXPECT_EQ(FloatToFixed(12.0, 3), "12.000");
  EXPECT_EQ(FloatToFixed(1.5, -1), "2");
  EXPECT_EQ(FloatToFixed(-std::numeric_limits<double>::infinity(), 2), "-INF");
}

TEST(FormatTest, MismatchedOrMissingArgumentsRaise) {
  struct BadCase {
    const char* Fmt;
    std::vector<FormatArg> Args;
  };
  const std::vector<BadCase> cases = {
      {"%d", {"text"}}, {"%s", {42}},      {"%s", {1.5}}, {"%f", {42}},
      {"%x", {1.5}},    {"%d %d", {1}},    {"%s", {}},    {"%", {1}},
      {"%5", {1}},      {"%q", {1}},       {"%-", {1}},   {"%*d", {"w", 1}},
      {"%.2", {1.0}},   {"%n", {"1,000"}}, {"%e", {1}},   {"%g", {"x"}},
  };
  for (const BadCase& c : cases) {
    try {
      FormatWith(c.Fmt, c.Args);
      ADD_FAILURE() << "no exception for " << c.Fmt;
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(),
                std::string("Format '") + c.Fmt + "' invalid or incompatible with argument");
    }
  }
}

TEST(FormatTest, PercentInArgumentsIsNotInterpreted) {
  EXPECT_EQ(Format("%s and %d", {"100%d", 5}), "100%d and 5");
  EXPECT_EQ(Format("%d", {1, 2, 3}), "1");
}

}  // namespace
