#include "platform/Collation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "platform/CodePage.h"

using namespace platform;

namespace {

int Sign(int v) {
  return v < 0 ? -1 : (v > 0 ? 1 : 0);
}

// The texts are written in UTF-8 here and compared as Windows-1250, as the engine holds them.
int Ansi(const std::string& a, const std::string& b, bool caseInsensitive) {
  std::string x = Utf8ToCp1250(a), y = Utf8ToCp1250(b);
  return Sign(CollateAnsi(x.data(), static_cast<int>(x.size()), y.data(),
                          static_cast<int>(y.size()), caseInsensitive));
}

int Ascii(const std::string& a, const std::string& b, bool caseInsensitive) {
  return Sign(CollateAscii(a.data(), static_cast<int>(a.size()), b.data(),
                           static_cast<int>(b.size()), caseInsensitive));
}

struct Case {
  const char* a;
  const char* b;
  int caseInsensitive;  // expected sign
  int caseSensitive;
};

}  // namespace

TEST(CollationTest, PolishOrder) {
  const Case cases[] = {
      {"a", "ą", -1, -1},   {"ą", "b", -1, -1},     {"c", "ć", -1, -1},
      {"ć", "d", -1, -1},   {"e", "ę", -1, -1},     {"ę", "f", -1, -1},
      {"l", "ł", -1, -1},   {"ł", "m", -1, -1},     {"n", "ń", -1, -1},
      {"ń", "o", -1, -1},   {"o", "ó", -1, -1},     {"ó", "p", -1, -1},
      {"s", "ś", -1, -1},   {"ś", "t", -1, -1},     {"z", "ź", -1, -1},
      {"ź", "ż", -1, -1},   {"Ż", "ź", 1, 1},       {"łza", "lza", 1, 1},
      {"ABC", "abc", 0, 1}, {"Ą", "ą", 0, 1},       {"Żółw", "żółw", 0, 1},
      {"abc", "abc", 0, 0}, {"ab", "abc", -1, -1},  {"", "a", -1, -1},
      {"", "", 0, 0},       {"B", "a", 1, 1},       {"a", "B", -1, -1},
      {"ąb", "ac", 1, 1},   {"Łódź", "Lodz", 1, 1}, {"zażółć", "zazolc", 1, 1},
      {"a1", "a2", -1, -1}, {"a10", "a9", -1, -1},  {"ćma", "Ćma", 0, -1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Ansi(c.a, c.b, true), c.caseInsensitive) << c.a << " vs " << c.b;
    EXPECT_EQ(Ansi(c.b, c.a, true), -c.caseInsensitive) << c.b << " vs " << c.a;
    EXPECT_EQ(Ansi(c.a, c.b, false), c.caseSensitive) << c.a << " vs " << c.b;
    EXPECT_EQ(Ansi(c.b, c.a, false), -c.caseSensitive) << c.b << " vs " << c.a;
  }
}

TEST(CollationTest, SortsThePolishAlphabet) {
  const std::vector<std::string> alphabet = {"a", "ą", "b", "c", "ć", "d", "e", "ę", "f", "g", "h",
                                             "i", "j", "k", "l", "ł", "m", "n", "ń", "o", "ó", "p",
                                             "r", "s", "ś", "t", "u", "w", "y", "z", "ź", "ż"};
  std::vector<std::string> shuffled(alphabet.rbegin(), alphabet.rend());
  std::sort(shuffled.begin(), shuffled.end(),
            [](const std::string& x, const std::string& y) { return Ansi(x, y, true) < 0; });
  EXPECT_EQ(shuffled, alphabet);
}

TEST(CollationTest, LengthsAreRespected) {
  // Only the given bytes count, even when more follow.
  EXPECT_EQ(CollateAnsi("abcX", 3, "abcY", 3, true), 0);
  EXPECT_EQ(CollateAscii("abcX", 3, "abcY", 3, false), 0);
  EXPECT_LT(CollateAnsi("abc", 2, "abc", 3, true), 0);
  EXPECT_GT(CollateAscii("abc", 3, "abc", 2, true), 0);
  // A negative length means a NUL-terminated text.
  EXPECT_EQ(CollateAnsi("abc", -1, "ABC", 3, true), 0);
  EXPECT_LT(CollateAscii("ab", -1, "abc", -1, false), 0);
  EXPECT_EQ(CollateAnsi(nullptr, 0, "", 0, false), 0);
}

TEST(CollationTest, LongTextsUseTheHeap) {
  std::string a(1000, 'x'), b(1000, 'x');
  a += "\xB9";  // ą
  b += "b";
  EXPECT_LT(CollateAnsi(a.data(), int(a.size()), b.data(), int(b.size()), true), 0);
  std::string c(5000, 'Q'), d(5000, 'q');
  EXPECT_EQ(CollateAnsi(c.data(), int(c.size()), d.data(), int(d.size()), true), 0);
  EXPECT_NE(CollateAnsi(c.data(), int(c.size()), d.data(), int(d.size()), false), 0);
}

TEST(CollationTest, AsciiOrder) {
  EXPECT_EQ(Ascii("B", "a", false), -1);  // byte order: 'B' (0x42) < 'a' (0x61)
  EXPECT_EQ(Ascii("B", "a", true), 1);    // folded: 'B' > 'A'
  EXPECT_EQ(Ascii("a", "A", true), 0);
  EXPECT_EQ(Ascii("a", "A", false), 1);
  EXPECT_EQ(Ascii("ABC", "abc", true), 0);
  EXPECT_NE(Ascii("ABC", "abc", false), 0);
  EXPECT_EQ(Ascii("ab", "abc", true), -1);
  EXPECT_EQ(Ascii("abc", "ab", false), 1);
  EXPECT_EQ(Ascii("", "", false), 0);
  EXPECT_EQ(Ascii("", "a", false), -1);
  // Bytes are unsigned: 0xB9 sorts after every ASCII byte.
  EXPECT_EQ(Ascii("\xB9", "z", false), 1);
  // Only ASCII letters fold: 'Ą' (0xA5) and 'ą' (0xB9) stay different.
  EXPECT_NE(Ascii("\xA5", "\xB9", true), 0);
  // Folding goes to upper case, so '_' (0x5F) sorts after the letters.
  EXPECT_EQ(Ascii("a_", "ab", true), 1);
  EXPECT_EQ(Ascii("a_", "ab", false), -1);
}

TEST(CollationTest, ConcurrentUse) {
  std::vector<std::thread> threads;
  std::vector<int> failures(8, 0);
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([t, &failures] {
      for (int i = 0; i < 2000; ++i) {
        if (Ansi("ł", "m", (i & 1) != 0) != -1) ++failures[t];
        if (Ansi("ABC", "abc", true) != 0) ++failures[t];
      }
    });
  }
  for (auto& th : threads) th.join();
  for (int f : failures) EXPECT_EQ(f, 0);
}
