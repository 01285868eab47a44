#include "platform/CodePage.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

using namespace platform;

TEST(CodePageTest, EveryByteRoundTrips) {
  for (int b = 0; b < 256; ++b) {
    std::string one(1, static_cast<char>(b));
    std::string utf8 = Cp1250ToUtf8(one);
    EXPECT_EQ(Utf8ToCp1250(utf8), one) << "byte " << b;
  }
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  EXPECT_EQ(Utf8ToCp1250(Cp1250ToUtf8(all)), all);
}

TEST(CodePageTest, EveryByteHasItsOwnCharacter) {
  std::vector<bool> seen(65536, false);
  for (int b = 0; b < 256; ++b) {
    char16_t u = Cp1250ToUnicode(static_cast<unsigned char>(b));
    EXPECT_FALSE(seen[u]) << "byte " << b;
    seen[u] = true;
    if (b < 0x80) {
      EXPECT_EQ(u, b);
    }
  }
}

TEST(CodePageTest, PolishLetters) {
  struct Case {
    unsigned char byte;
    char16_t unicode;
    const char* utf8;
  };
  const Case cases[] = {
      {0xB9, u'ą', "ą"}, {0xA5, u'Ą', "Ą"},           {0xE6, u'ć', "ć"}, {0xC6, u'Ć', "Ć"},
      {0xEA, u'ę', "ę"}, {0xCA, u'Ę', "Ę"},           {0xB3, u'ł', "ł"}, {0xA3, u'Ł', "Ł"},
      {0xF1, u'ń', "ń"}, {0xD1, u'Ń', "Ń"},           {0xF3, u'ó', "ó"}, {0xD3, u'Ó', "Ó"},
      {0x9C, u'ś', "ś"}, {0x8C, u'Ś', "Ś"},           {0x9F, u'ź', "ź"}, {0x8F, u'Ź', "Ź"},
      {0xBF, u'ż', "ż"}, {0xAF, u'Ż', "Ż"},           {0x80, u'€', "€"}, {0x84, u'„', "„"},
      {0x94, u'”', "”"}, {0xA0, u'\u00A0', "\u00A0"},
  };
  for (const Case& c : cases) {
    std::string byte(1, static_cast<char>(c.byte));
    EXPECT_EQ(Cp1250ToUnicode(c.byte), c.unicode) << std::hex << int(c.byte);
    EXPECT_EQ(Cp1250ToUtf8(byte), c.utf8) << std::hex << int(c.byte);
    EXPECT_EQ(Utf8ToCp1250(c.utf8), byte) << std::hex << int(c.byte);
  }
  EXPECT_EQ(Cp1250ToUtf8("Za\xBF\xF3\xB3\xE6 g\xEA\x9Cl\xB9 ja\x9F\xF1"), "Zażółć gęślą jaźń");
  EXPECT_EQ(Utf8ToCp1250("ZAŻÓŁĆ GĘŚLĄ JAŹŃ"), "ZA\xAF\xD3\xA3\xC6 G\xCA\x8CL\xA5 JA\x8F\xD1");
}

TEST(CodePageTest, UndefinedBytesMapToC1Controls) {
  for (unsigned char b : {0x81, 0x83, 0x88, 0x90, 0x98}) {
    EXPECT_EQ(Cp1250ToUnicode(b), static_cast<char16_t>(b));
    std::string expected = {static_cast<char>(0xC2), static_cast<char>(b)};
    EXPECT_EQ(Cp1250ToUtf8(std::string(1, static_cast<char>(b))), expected);
  }
}

TEST(CodePageTest, UnrepresentableCharactersBecomeQuestionMarks) {
  EXPECT_EQ(Utf8ToCp1250("€"), "\x80");
  EXPECT_EQ(Utf8ToCp1250("中"), "?");
  EXPECT_EQ(Utf8ToCp1250("a中b"), "a?b");
  EXPECT_EQ(Utf8ToCp1250("ñ"), "?");       // Spanish, not in Windows-1250
  EXPECT_EQ(Utf8ToCp1250("😀x"), "?x");     // beyond the BMP
  EXPECT_EQ(Utf8ToCp1250("\u0080"), "?");  // a C1 control that is a defined byte's neighbour
  EXPECT_EQ(Utf8ToCp1250("?"), "?");
}

TEST(CodePageTest, MalformedUtf8BecomesQuestionMarks) {
  EXPECT_EQ(Utf8ToCp1250("a\x80z"), "a?z");          // stray continuation byte
  EXPECT_EQ(Utf8ToCp1250("a\xC4"), "a?");            // truncated at the end
  EXPECT_EQ(Utf8ToCp1250("\xC4z"), "?z");            // truncated before ASCII
  EXPECT_EQ(Utf8ToCp1250("\xE2\x82z"), "?z");        // truncated 3-byte sequence
  EXPECT_EQ(Utf8ToCp1250("\xC0\xB9"), "??");         // overlong lead byte
  EXPECT_EQ(Utf8ToCp1250("\xE0\x80\x80"), "???");    // overlong 3-byte form
  EXPECT_EQ(Utf8ToCp1250("\xED\xA0\x80"), "???");    // a surrogate
  EXPECT_EQ(Utf8ToCp1250("\xF5\x80"), "??");         // beyond U+10FFFF
  EXPECT_EQ(Utf8ToCp1250("\xFF\xC4\x85"), "?\xB9");  // a bad byte does not eat the next
}

TEST(CodePageTest, EmptyAndAscii) {
  EXPECT_EQ(Cp1250ToUtf8(""), "");
  EXPECT_EQ(Utf8ToCp1250(""), "");
  std::string ascii;
  for (int c = 0; c < 128; ++c) ascii += static_cast<char>(c);
  EXPECT_EQ(Cp1250ToUtf8(ascii), ascii);
  EXPECT_EQ(Utf8ToCp1250(ascii), ascii);
  std::string withNul("a\0b", 3);
  EXPECT_EQ(Cp1250ToUtf8(withNul), withNul);
}

TEST(CodePageTest, ConcurrentUse) {
  std::vector<std::thread> threads;
  std::vector<int> failures(8, 0);
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([t, &failures] {
      for (int i = 0; i < 2000; ++i) {
        if (Utf8ToCp1250(Cp1250ToUtf8("\xB9\xEA\x9C")) != "\xB9\xEA\x9C") ++failures[t];
      }
    });
  }
  for (auto& th : threads) th.join();
  for (int f : failures) EXPECT_EQ(f, 0);
}
