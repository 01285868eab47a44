#include "engine/storage/VorCommon.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Exception.h"

namespace {

int Sign(int v) {
  return (v > 0) - (v < 0);
}

TEST(CommonTest, CompareIntegersAndFloats) {
  EXPECT_EQ(CompareIntegers(1, 2), -1);
  EXPECT_EQ(CompareIntegers(7, 7), 0);
  EXPECT_EQ(CompareIntegers(INT32_MIN, INT32_MAX), -1);  // A - B would overflow
  EXPECT_EQ(CompareIntegers(INT32_MAX, INT32_MIN), 1);
  // Record addresses are unsigned: the upper half of the range sorts last.
  EXPECT_EQ(CompareIntegers(uint32_t{0x80000000u}, uint32_t{1}), 1);
  EXPECT_EQ(CompareFloats(1.5, 2.5), -1);
  EXPECT_EQ(CompareFloats(2.5, 1.5), 1);
  EXPECT_EQ(CompareFloats(-0.0, 0.0), 0);
}

TEST(CommonTest, KeyCollations) {
  struct Case {
    const char* S1;
    int Len1;
    const char* S2;
    int Len2;
    bool CaseInsensitive;
    bool Partial;
    int Ansi;  // expected sign
    int Ascii;
  };
  const std::vector<Case> cases = {
      {"abc", 3, "abcd", 4, false, false, -1, -1},  // shorter first
      {"abc", 3, "abcd", 4, false, true, 0, 0},     // a prefix is equal when partial
      {"abcd", 4, "abc", 3, false, false, 1, 1},
      {"abcd", 4, "abc", 3, false, true, 0, 0},
      {"abc", 3, "abd", 3, false, false, -1, -1},
      {"abc", 3, "abd", 3, false, true, -1, -1},  // partial never hides a difference
      {"b", 1, "abc", 3, false, false, 1, 1},     // the characters decide before the length
      {"abX", 2, "abY", 2, false, false, 0, 0},   // only the given lengths count
      {"abX", 3, "ab", 2, false, false, 1, 1},
      {"", 0, "a", 1, false, false, -1, -1},
      {"", 0, "a", 1, false, true, 0, 0},
      {"ABC", 3, "abc", 3, true, false, 0, 0},
      {"Zupa", 4, "zupa", 4, true, false, 0, 0},
      {"ABC", 3, "abc", 3, false, false, 2, -1},    // 2: non-zero, sign left to the collator
      {"\xB9", 1, "b", 1, false, false, -1, 1},     // Polish a-ogonek sorts before b in soANSI only
      {"\xA5Z", 2, "\xB9z", 2, true, false, 0, 2},  // its case ignored by soANSI alone
  };
  for (const Case& c : cases) {
    int ansi = CompareAnsiKeys(c.S1, c.S2, c.Len1, c.Len2, c.CaseInsensitive, c.Partial);
    int ascii = CompareAsciiKeys(c.S1, c.S2, c.Len1, c.Len2, c.CaseInsensitive, c.Partial);
    std::string what = std::string(c.S1) + " / " + c.S2;
    if (c.Ansi == 2) {
      EXPECT_NE(ansi, 0) << what;
    } else {
      EXPECT_EQ(Sign(ansi), c.Ansi) << what;
    }
    if (c.Ascii == 2) {
      EXPECT_NE(ascii, 0) << what;
    } else {
      EXPECT_EQ(Sign(ascii), c.Ascii) << what;
    }
  }
  TCompareKeysFunc chosen = CompareAsciiKeys;
  EXPECT_LT(chosen("a", "b", 1, 1, false, false), 0);
}

// The matcher's rules written as the plain recursion, to check the quadratic version
// against.
bool LikeReference(std::string_view t, std::string_view p) {
  if (p == "%") return true;
  if (t.empty()) return p.empty();
  if (p.empty()) return false;
  if (p[0] == '%') return LikeReference(t, p.substr(1)) || LikeReference(t.substr(1), p);
  if (p[0] == '_' || p[0] == t[0]) return LikeReference(t.substr(1), p.substr(1));
  return false;
}

TEST(CommonTest, LikeMatchTable) {
  struct Case {
    std::string Text;
    std::string Pattern;
    bool Match;
  };
  const std::vector<Case> cases = {
      {"Kalorie", "K%e", true},
      {"Kalorie", "k%", false},  // case matters
      {"Kalorie", "K%", true},
      {"Kalorie", "%rie", true},
      {"Kalorie", "%ri", false},
      {"Kalorie", "%lor%", true},
      {"Kalorie", "Kalorie", true},
      {"Kalorie", "Kalori", false},
      {"", "%", true},
      {"", "", true},
      {"a", "", false},
      {"", "_", false},
      {"a", "_", true},
      {"ab", "_", false},
      {"abc", "a_c", true},
      {"ac", "a_c", false},
      {"abc", "___", true},
      {"abc", "%_", true},
      {"abc", "_%_%_", true},
      {"ab", "_%_%_", false},
      {"50%", "50%", true},  // no escape: "%" is always a wildcard
      {"a", "%%", true},
      // An exhausted text meets only a pattern that is exactly "%".
      {"", "%%", false},
      {"a", "a%%", false},
      {"abc", "a%%", true},
      {std::string(255, 'a') + "b", "%b", false},  // past 255 characters nothing counts
      {std::string(255, 'a'), std::string(255, 'a') + "b", true},
      {std::string("ab\0c", 4), "ab", true},  // a NUL ends the text
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LikeMatch(c.Text, c.Pattern), c.Match) << c.Text << " LIKE " << c.Pattern;
  }
}

TEST(CommonTest, LikeMatchAgreesWithTheRecursiveRules) {
  std::mt19937 random(20240611);
  const char alphabet[] = "ab%_";
  auto randomText = [&](const char* letters, int count) {
    std::string s(random() % 8, ' ');
    for (char& ch : s) ch = letters[random() % count];
    return s;
  };
  for (int i = 0; i < 20000; ++i) {
    std::string text = randomText(alphabet, 2);
    std::string pattern = randomText(alphabet, 4);
    ASSERT_EQ(LikeMatch(text, pattern), LikeReference(text, pattern))
        << "'" << text << "' LIKE '" << pattern << "'";
  }
}

TEST(CommonTest, LikeMatchStaysPolynomialOnManyWildcards) {
  // The plain recursion would take exponential time on these.
  EXPECT_FALSE(LikeMatch(std::string(200, 'a'), "%a%a%a%a%a%a%a%a%a%a%b"));
  EXPECT_TRUE(LikeMatch(std::string(200, 'a'), "%a%a%a%a%a%a%a%a%a%a%"));
  std::string wild;
  for (int i = 0; i < 127; ++i) wild += "%a";
  EXPECT_FALSE(LikeMatch(std::string(255, 'a'), wild + "b"));
  EXPECT_FALSE(LikeMatch(std::string(255, 'a'), std::string(254, '%') + "b"));
}

TEST(CommonTest, HeaderSizeFitsOneBlock) {
  for (int count : {0, 1, 34}) EXPECT_NO_THROW(CheckHeaderSize(count)) << count;
  for (int count : {35, 100, -1, -100, INT32_MAX}) {
    try {
      CheckHeaderSize(count);
      ADD_FAILURE() << "no exception for " << count;
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), "Debug check -  header size <> 256");
    }
  }
}

TEST(CommonTest, CoreDataSizeByFieldType) {
  const std::vector<std::pair<int, int>> sizes = {
      {ftString, 2},  {ftSmallint, 2}, {ftWord, 2},     {ftWideString, 2}, {ftInteger, 4},
      {ftAutoInc, 4}, {ftBoolean, 1},  {ftFloat, 8},    {ftCurrency, 8},   {ftBCD, 8},
      {ftDate, 8},    {ftTime, 8},     {ftDateTime, 8},
  };
  for (int type = 0; type <= 255; ++type) {
    auto known =
        std::find_if(sizes.begin(), sizes.end(), [type](const auto& s) { return s.first == type; });
    if (known != sizes.end()) {
      EXPECT_EQ(CoreDataSize(static_cast<uint8_t>(type)), known->second) << type;
      continue;
    }
    try {
      CoreDataSize(static_cast<uint8_t>(type));
      ADD_FAILURE() << "no exception for type " << type;
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(),
                "Error in setting CoreDataSize - field type not found: " + FieldTypeName(type));
    }
  }
  try {
    CoreDataSize(15);
    FAIL() << "no exception";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Error in setting CoreDataSize - field type not found: ftBlob");
  }
  EXPECT_EQ(FieldTypeName(ftUnknown), "ftUnknown");
  EXPECT_EQ(FieldTypeName(ftTypedBinary), "ftTypedBinary");
  EXPECT_EQ(FieldTypeName(ftDataSet), "ftDataSet");
  EXPECT_EQ(FieldTypeName(200), "200");
}

TEST(CommonTest, IncludeTrailingBackslash) {
  EXPECT_EQ(IncludeTrailingBackslash("/data/ox"), "/data/ox/");
  EXPECT_EQ(IncludeTrailingBackslash("/data/ox/"), "/data/ox/");
  EXPECT_EQ(IncludeTrailingBackslash("/"), "/");
  EXPECT_EQ(IncludeTrailingBackslash("rel"), "rel/");
  // The current directory must not become the root directory.
  EXPECT_EQ(IncludeTrailingBackslash(""), "");
}

TEST(CommonTest, SplitFieldList) {
  const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
      {"", {}},
      {"Nazwa", {"Nazwa"}},
      {"DanieID;ProduktID", {"DanieID", "ProduktID"}},
      {" a ; b", {" a ", " b"}},
      {"a;;b", {"a", "", "b"}},
      {"a;", {"a", ""}},
      {";", {"", ""}},
  };
  for (const auto& [list, items] : cases) {
    TStringList target;
    target.Add("stale");
    SplitFieldList(list, target);
    EXPECT_EQ(target.Items(), items) << list;
  }
}

TEST(CommonTest, StringToWideBuffer) {
  const char16_t sentinel = u'#';
  struct Case {
    std::string Text;
    int Count;
    std::u16string Written;  // including the terminator; the rest keeps the sentinel
  };
  const std::vector<Case> cases = {
      {"abc", 10, std::u16string(u"abc\0", 4)},
      {"abc", 4, std::u16string(u"abc\0", 4)},
      {"abc", 3, std::u16string(u"ab\0", 3)},
      {"abc", 1, std::u16string(u"\0", 1)},
      {"abc", 0, u""},
      {"abc", -5, u""},
      {"", 3, std::u16string(u"\0", 1)},
      {"\xB9\xF3", 5, std::u16string(u"\u0105\u00F3\0", 3)},  // Windows-1250 letters
  };
  for (const Case& c : cases) {
    std::u16string buffer(12, sentinel);
    StringToWideBuffer(c.Text, buffer.data(), c.Count);
    std::u16string expected = c.Written + std::u16string(12 - c.Written.size(), sentinel);
    EXPECT_TRUE(buffer == expected) << c.Text << " count " << c.Count;
  }
}

}  // namespace
