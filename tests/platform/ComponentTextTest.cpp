// The component text writer and reader: what is written reads back unchanged (every byte of a
// string, every bit of a float), the text looks as a person expects, and damaged texts are
// refused with EReadError, never a crash or a hang.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "platform/ComponentReader.h"
#include "platform/ComponentWriter.h"

namespace {

TTextProperty Prop(std::string name, TTextValue value) {
  return TTextProperty{std::move(name), std::move(value), 0};
}

void ExpectSameValue(const TTextValue& a, const TTextValue& b);

void ExpectSameProperties(const std::vector<TTextProperty>& a,
                          const std::vector<TTextProperty>& b) {
  ASSERT_EQ(a.size(), b.size());
  for (size_t i = 0; i < a.size(); ++i) {
    SCOPED_TRACE(a[i].Name);
    EXPECT_EQ(a[i].Name, b[i].Name);
    ExpectSameValue(a[i].Value, b[i].Value);
  }
}

void ExpectSameValue(const TTextValue& a, const TTextValue& b) {
  ASSERT_EQ(a.Type, b.Type);
  if (a.Type != TTextValueType::Collection) {
    EXPECT_TRUE(SameScalar(a, b)) << a.Text << " / " << b.Text << " / " << a.Float << " / "
                                  << b.Float;
    return;
  }
  ASSERT_EQ(a.Items.size(), b.Items.size());
  for (size_t i = 0; i < a.Items.size(); ++i) ExpectSameProperties(a.Items[i], b.Items[i]);
}

std::string AllBytes() {
  std::string bytes;
  for (int b = 0; b < 256; ++b) bytes += static_cast<char>(b);
  return bytes;
}

TEST(ComponentTextTest, EveryKindOfValueReadsBackUnchanged) {
  const double denormal = std::numeric_limits<double>::denorm_min();
  TTextObject object{"TSample", {}};
  std::vector<TTextProperty>& p = object.Properties;
  p.push_back(Prop("Zero", TTextValue::OfInteger(0)));
  p.push_back(Prop("Min", TTextValue::OfInteger(std::numeric_limits<int64_t>::min())));
  p.push_back(Prop("Max", TTextValue::OfInteger(std::numeric_limits<int64_t>::max())));
  for (double f : {0.0, -0.0, 45000.123456789, -1.5, 0.1, 1e-300, denormal, 1e300,
                   std::numeric_limits<double>::max(), -std::numeric_limits<double>::min()}) {
    p.push_back(Prop("F", TTextValue::OfFloat(f)));
  }
  p.push_back(Prop("Empty", TTextValue::OfString("")));
  p.push_back(Prop("Bytes", TTextValue::OfString(AllBytes())));
  p.push_back(Prop("Quotes", TTextValue::OfString("''x'")));
  p.push_back(Prop("Polish", TTextValue::OfString("\xA3\xF3"
                                                  "d\xBC \xBF\xF3\xB3w")));
  p.push_back(Prop("Long", TTextValue::OfString(std::string(1000, 'y') + "#13")));
  p.push_back(Prop("Flag", TTextValue::OfIdent("True")));
  // Collections inside items, down to the deepest nesting allowed.
  TTextValue nested = TTextValue::OfInteger(1);
  for (int depth = 0; depth < MaxComponentNesting; ++depth) {
    nested = TTextValue::OfCollection(
        {{Prop("Level", TTextValue::OfInteger(depth)), Prop("Inner", std::move(nested))},
         {},
         {Prop("S", TTextValue::OfString("x"))}});
  }
  p.push_back(Prop("Deep", std::move(nested)));
  p.push_back(Prop("None", TTextValue::OfCollection({})));

  const std::string text = WriteComponentText(object);
  const TTextObject read = ReadComponentText(text);
  EXPECT_EQ(read.ClassName, "TSample");
  ExpectSameProperties(object.Properties, read.Properties);
  EXPECT_EQ(WriteComponentText(read), text);
}

TEST(ComponentTextTest, TheTextIsWhatAPersonExpects) {
  TTextObject object{
      "TTableDef",
      {Prop("TableID", TTextValue::OfInteger(-3)),
       Prop("TableName", TTextValue::OfString("Sk\xB3"
                                              "ad 'A'\r\n")),
       Prop("CreationDate", TTextValue::OfFloat(45000.5)),
       Prop("LastModDate", TTextValue::OfFloat(2)), Prop("Memory", TTextValue::OfIdent("False")),
       Prop("KeyFields",
            TTextValue::OfCollection({{Prop("Hidden", TTextValue::OfIdent("True"))}, {}})),
       Prop("Indexes", TTextValue::OfCollection({}))}};
  EXPECT_EQ(WriteComponentText(object),
            "object TTableDef\r\n"
            "  TableID = -3\r\n"
            "  TableName = 'Sk\xB3"
            "ad ''A'''#13#10\r\n"
            "  CreationDate = 45000.5\r\n"
            "  LastModDate = 2.0\r\n"
            "  Memory = False\r\n"
            "  KeyFields = <\r\n"
            "    item\r\n"
            "      Hidden = True\r\n"
            "    end\r\n"
            "    item\r\n"
            "    end>\r\n"
            "  Indexes = <>\r\n"
            "end\r\n");
}

TEST(ComponentTextTest, LongStringsGoOnOverSeveralLines) {
  const std::string value = std::string(64, 'a') + std::string(64, 'b') + "\x01";
  EXPECT_EQ(ComponentStringText(value, "    "),
            "'" + std::string(64, 'a') + "' +\r\n    '" + std::string(64, 'b') + "' +\r\n    #1");
  // Any blanks, line ends and letter case of keywords are accepted.
  const TTextObject read = ReadComponentText(
      "OBJECT TX\n Name='a'#9'b' +\n\n   #10 + 'c'\tCount\t=\t7\n Items=<ITEM End item\nend>  END");
  ASSERT_EQ(read.Properties.size(), 3u);
  EXPECT_EQ(read.Properties[0].Value.Text, "a\tb\nc");
  EXPECT_EQ(read.Properties[1].Line, 4);
  EXPECT_EQ(read.Properties[2].Value.Items.size(), 2u);
}

TEST(ComponentTextTest, DamagedTextsAreRefused) {
  struct Case {
    const char* Name;
    std::string Text;
    const char* Message;  // part of the message
  };
  const std::string open = "object TX\r\n  A = ";
  std::string deep = open;
  for (int i = 0; i < 200000; ++i) deep += "<item B = ";
  const std::vector<Case> cases = {
      {"empty", "", "Line 1: 'object' expected but end of text found"},
      {"no class name", "object\r\nend", "Class name expected"},
      {"keyword as class name", "object end", "Class name expected"},
      {"no end", "object TX\r\n  A = 1\r\n", "Line 3: 'end' expected"},
      {"missing value", open + "\r\nend", "Line 3: Value expected but 'end' found"},
      {"missing equals", "object TX\r\n  A 1\r\nend", "'=' expected"},
      {"keyword as value", open + "item\r\nend", "Value expected"},
      {"unterminated string", open + "'abc\r\nend", "Line 2: Unterminated string"},
      {"string to the end", open + "'abc", "Unterminated string"},
      {"byte without digits", open + "#x\r\nend", "Byte value expected"},
      {"byte beyond 255", open + "#256\r\nend", "Byte value out of range"},
      {"long byte value", open + "#0000000000000000000000000000000000000256\r\nend",
       "Byte value out of range"},
      {"plus without string", open + "'a' + 1\r\nend", "String expected after '+'"},
      {"integer too large", open + "9223372036854775808\r\nend", "Number out of range"},
      {"integer too small", open + "-9223372036854775809\r\nend", "Number out of range"},
      {"float too large", open + "1e400\r\nend", "Number out of range"},
      {"float without digits", open + "1.\r\nend", "Invalid number"},
      {"lone minus", open + "-\r\nend", "Digit expected after '-'"},
      {"exponent without digits", open + "1e+\r\nend", "Digit expected in exponent"},
      {"unknown character", open + "@\r\nend", "Invalid character #64"},
      {"NUL byte", open + std::string(1, '\0') + "\r\nend", "Invalid character #0"},
      {"unclosed collection", open + "<item end\r\nend", "'>' expected"},
      {"item without end", open + "<item B = 1>\r\nend", "'end' expected"},
      {"deep nesting", deep, "nested too deeply"},
      {"trailing text", "object TX\r\nend\r\nend", "End of text expected"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    try {
      ReadComponentText(c.Text);
      ADD_FAILURE() << "accepted";
    } catch (const EReadError& e) {
      EXPECT_NE(e.Message().find(c.Message), std::string::npos) << e.Message();
    }
  }
}

TEST(ComponentTextTest, RandomDamageIsEitherReadOrRefused) {
  TTextObject object{
      "TX",
      {Prop("A", TTextValue::OfString(AllBytes())), Prop("B", TTextValue::OfFloat(-12.25)),
       Prop("C", TTextValue::OfCollection({{Prop("D", TTextValue::OfInteger(5))}}))}};
  const std::string sound = WriteComponentText(object);
  std::mt19937 random(20240611);
  std::uniform_int_distribution<size_t> position(0, sound.size() - 1);
  std::uniform_int_distribution<int> byte(0, 255);
  int refused = 0;
  for (int round = 0; round < 3000; ++round) {
    std::string text = sound;
    for (int k = 0; k <= round % 3 && !text.empty(); ++k) {
      const size_t at = position(random) % text.size();
      switch (round % 4) {
        case 0:
          text[at] = static_cast<char>(byte(random));
          break;
        case 1:
          text.erase(at, 1);
          break;
        case 2:
          text.insert(at, 1, "'#<>+=-\n"[byte(random) % 8]);
          break;
        default:
          text = text.substr(0, at);
      }
    }
    try {
      ReadComponentText(text);
    } catch (const EReadError&) {
      ++refused;
    }
  }
  EXPECT_GT(refused, 0);
}

TEST(ComponentTextTest, TheWriterRefusesWhatCouldNotBeReadBack) {
  struct Case {
    const char* Name;
    TTextObject Object;
  };
  TTextValue tooDeep = TTextValue::OfInteger(1);
  for (int depth = 0; depth <= MaxComponentNesting; ++depth) {
    tooDeep = TTextValue::OfCollection({{Prop("X", std::move(tooDeep))}});
  }
  const std::vector<Case> cases = {
      {"NaN", {"TX", {Prop("F", TTextValue::OfFloat(std::nan("")))}}},
      {"infinity", {"TX", {Prop("F", TTextValue::OfFloat(-INFINITY))}}},
      {"bad class name", {"T X", {}}},
      {"bad property name", {"TX", {Prop("1A", TTextValue::OfInteger(1))}}},
      {"bad identifier", {"TX", {Prop("A", TTextValue::OfIdent("so ANSI"))}}},
      {"too deep", {"TX", {Prop("A", tooDeep)}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_THROW(WriteComponentText(c.Object), EWriteError);
  }
}

}  // namespace
