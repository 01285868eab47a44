// The stored text of a table definition: a rich definition reads back equal in every
// streamed property, the text is readable and leaves out declared defaults, and damaged texts
// are refused with an engine error that leaves the definition as it was.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "TableDefTestSupport.h"
#include "engine/tables/TableDefText.h"

namespace {

using namespace tabledef_test;

// Windows-1250: "Żółć" and "łąka".
const std::string Zolc = "\xAF\xF3\xB3\xE6";
const std::string Laka = "\xB3\xB9ka";

std::string AllBytes() {
  std::string bytes;
  for (int b = 255; b >= 0; --b) bytes += static_cast<char>(b);
  return bytes;
}

// Every streamed property away from its default, with bytes that need quoting.
void BuildRich(TTableDef& def) {
  BuildDefinition(def,
                  "Sk\xB3"
                  "ad 'Dania' " +
                      Zolc,
                  {{"DanieID", ftAutoInc},
                   {"Opis", ftString, 255},
                   {"Ilo\x9C\xE6", ftCurrency},
                   {"Przepis", ftMemo},
                   {"Data", ftDateTime}},
                  {"ixDanie", "ixOpis", Laka});
  def.SetTableID(1999);
  def.SetOwnerFlag(0xFFFFFFF0u);
  def.SetAltName(AllBytes());
  def.SetVersion("1.30.02");
  def.SetOS("NT: 2.10.0.19045 Service Pack 1");
  def.SetCreationDate(45000.123456789);
  def.SetLastModDate(-0.0);
  def.SetCreatedBy(std::string(150, 'x') + "'" + Zolc + "\r\n" + std::string(70, '\''));
  def.SetPassword(std::string("a\0b'", 4));
  def.SetEncrypted(true);
  def.SetSecurityLevel(-7);
  def.SetMemory(true);
  def.SetRecordSize(123456);
  def.SetDefaultBlobSize(1024);
  def.SetUsesBlobs(true);
  def.SetSortOrder(soASCII);
  def.SetInternalTable(true);
  def.SetEncryptionLevel(encStrong);

  TInternalFieldItem& amount = def.InternalFields().Items(2);
  amount.SetNumDecimalPlaces(2);
  amount.SetRequired(true);
  amount.SetFieldGeneratorID(2147483646);
  def.InternalFields().Items(4).SetIsVariable(true);

  TKeyFieldItem& text = def.KeyFields().Items(1);
  const TInternalFieldItem& opis = def.InternalFields().Items(1);
  text.FieldName = opis.FieldName();
  text.DataType = ftString;
  text.FieldSize = 255;
  text.IsVariable = true;
  text.RecBufOffset = opis.DataOffset();
  text.SizeMarkerOffset = opis.SizeMarkerOffset();
  text.CaseInsensitive = true;
  text.Descending = true;
  text.PhysicalFieldNo = 1;
  text.KeyIndex = 0;
  TKeyFieldItem& hidden = def.KeyFields().Add();
  hidden.IndexName = "ixOpis";
  hidden.Hidden = true;
  hidden.DataType = ftInteger;
  hidden.FieldSize = 4;
  hidden.PhysicalFieldNo = -1;
  hidden.RecBufOffset = 6;
  hidden.SizeMarkerOffset = -1;
  hidden.KeyIndex = 1;

  TInternalIndexDef& second = def.InternalIndexDefs().Items(1);
  second.Hidden = true;
  second.Primary = true;
  second.Unique = false;
  second.IndexKeyType = ikMinStringLen;
  second.MaximumKeySize = 500;
  second.KeyDataOffset = std::numeric_limits<int32_t>::min();
}

void ExpectSameBits(double a, double b) {
  EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0) << a << " vs " << b;
}

void ExpectEqualDefinitions(const TTableDef& a, const TTableDef& b) {
  EXPECT_EQ(a.TableID(), b.TableID());
  EXPECT_EQ(a.OwnerFlag(), b.OwnerFlag());
  EXPECT_EQ(a.TableName(), b.TableName());
  EXPECT_EQ(a.AltName(), b.AltName());
  EXPECT_EQ(a.Version(), b.Version());
  EXPECT_EQ(a.OS(), b.OS());
  ExpectSameBits(a.CreationDate(), b.CreationDate());
  ExpectSameBits(a.LastModDate(), b.LastModDate());
  EXPECT_EQ(a.CreatedBy(), b.CreatedBy());
  EXPECT_EQ(a.Password(), b.Password());
  EXPECT_EQ(a.Encrypted(), b.Encrypted());
  EXPECT_EQ(a.SecurityLevel(), b.SecurityLevel());
  EXPECT_EQ(a.Memory(), b.Memory());
  EXPECT_EQ(a.RecordSize(), b.RecordSize());
  EXPECT_EQ(a.DefaultBlobSize(), b.DefaultBlobSize());
  EXPECT_EQ(a.UsesBlobs(), b.UsesBlobs());
  EXPECT_EQ(a.SortOrder(), b.SortOrder());
  EXPECT_EQ(a.InternalTable(), b.InternalTable());
  EXPECT_EQ(a.EncryptionLevel(), b.EncryptionLevel());

  ASSERT_EQ(a.KeyFields().Count(), b.KeyFields().Count());
  for (int i = 0; i < a.KeyFields().Count(); ++i) {
    SCOPED_TRACE("key field " + std::to_string(i));
    const TKeyFieldItem& x = a.KeyFields().Items(i);
    const TKeyFieldItem& y = b.KeyFields().Items(i);
    EXPECT_EQ(x.CaseInsensitive, y.CaseInsensitive);
    EXPECT_EQ(x.Descending, y.Descending);
    EXPECT_EQ(x.FieldSize, y.FieldSize);
    EXPECT_EQ(x.DataType, y.DataType);
    EXPECT_EQ(x.IsVariable, y.IsVariable);
    EXPECT_EQ(x.FieldName, y.FieldName);
    EXPECT_EQ(x.RecBufOffset, y.RecBufOffset);
    EXPECT_EQ(x.NullFlagOffset, y.NullFlagOffset);
    EXPECT_EQ(x.PhysicalFieldNo, y.PhysicalFieldNo);
    EXPECT_EQ(x.IndexName, y.IndexName);
    EXPECT_EQ(x.Hidden, y.Hidden);
    EXPECT_EQ(x.SizeMarkerOffset, y.SizeMarkerOffset);
    EXPECT_EQ(x.KeyIndex, y.KeyIndex);
  }
  ASSERT_EQ(a.InternalFields().Count(), b.InternalFields().Count());
  for (int i = 0; i < a.InternalFields().Count(); ++i) {
    SCOPED_TRACE("field " + std::to_string(i));
    const TInternalFieldItem& x = a.InternalFields().Items(i);
    const TInternalFieldItem& y = b.InternalFields().Items(i);
    EXPECT_EQ(x.FieldName(), y.FieldName());
    EXPECT_EQ(x.FieldNo(), y.FieldNo());
    EXPECT_EQ(x.FieldIndex(), y.FieldIndex());
    EXPECT_EQ(x.DataType(), y.DataType());
    EXPECT_EQ(x.FieldSize(), y.FieldSize());
    EXPECT_EQ(x.NumDecimalPlaces(), y.NumDecimalPlaces());
    EXPECT_EQ(x.Required(), y.Required());
    EXPECT_EQ(x.SizeMarkerOffset(), y.SizeMarkerOffset());
    EXPECT_EQ(x.DataOffset(), y.DataOffset());
    EXPECT_EQ(x.NullFlagOffset(), y.NullFlagOffset());
    EXPECT_EQ(x.IsVariable(), y.IsVariable());
    EXPECT_EQ(x.FieldGeneratorID(), y.FieldGeneratorID());
  }
  ASSERT_EQ(a.InternalIndexDefs().Count(), b.InternalIndexDefs().Count());
  for (int i = 0; i < a.InternalIndexDefs().Count(); ++i) {
    SCOPED_TRACE("index " + std::to_string(i));
    const TInternalIndexDef& x = a.InternalIndexDefs().Items(i);
    const TInternalIndexDef& y = b.InternalIndexDefs().Items(i);
    EXPECT_EQ(x.Hidden, y.Hidden);
    EXPECT_EQ(x.Primary, y.Primary);
    EXPECT_EQ(x.Unique, y.Unique);
    EXPECT_EQ(x.IndexName, y.IndexName);
    EXPECT_EQ(x.Maintained, y.Maintained);
    EXPECT_EQ(x.Memory, y.Memory);
    EXPECT_EQ(x.IndexPageSize, y.IndexPageSize);
    EXPECT_EQ(x.MaximumKeySize, y.MaximumKeySize);
    EXPECT_EQ(x.KeyDataOffset, y.KeyDataOffset);
    EXPECT_EQ(x.IndexSequence, y.IndexSequence);
    EXPECT_EQ(x.IndexKeyType, y.IndexKeyType);
  }
}

TEST(TableDefTextTest, ARichDefinitionReadsBackEqualInEveryProperty) {
  TTableDef original;
  BuildRich(original);
  const std::string text = TableDefToText(original);
  TTableDef read;
  TableDefFromText(text, read);
  ExpectEqualDefinitions(original, read);
  // Written again, the same text.
  EXPECT_EQ(TableDefToText(read), text);

  // A fresh definition, every property at its initial value, goes round as well.
  TTableDef empty, emptyRead;
  TableDefFromText(TableDefToText(empty), emptyRead);
  ExpectEqualDefinitions(empty, emptyRead);
}

TEST(TableDefTextTest, TheTextIsReadableAndLeavesOutDeclaredDefaults) {
  TTableDef def;
  BuildDefinition(def, "Produkty", {{"ProduktID", ftInteger}, {"Opis", ftString, 40}}, {"ixID"});
  def.SetCreationDate(45000.5);
  def.SetEncryptionLevel(encWeak);
  def.InternalFields().Items(0).SetNumDecimalPlaces(3);
  const std::string text = TableDefToText(def);
  EXPECT_EQ(text.rfind("object TTableDef\r\n  TableID = 0\r\n  OwnerFlag = 0\r\n"
                       "  TableName = 'Produkty'\r\n",
                       0),
            0u)
      << text;
  for (const char* line :
       {"\r\n  CreationDate = 45000.5\r\n", "\r\n  LastModDate = 0.0\r\n",
        "\r\n  Encrypted = False\r\n", "\r\n  SortOrder = soANSI\r\n",
        "\r\n  EncryptionLevel = encWeak\r\n", "\r\n  KeyFields = <\r\n    item\r\n",
        "\r\n      DataType = ftInteger\r\n", "\r\n      NumDecimalPlaces = 3\r\n",
        "\r\n      IsVariable = True\r\n", "\r\n      IndexKeyType = ikFixed\r\n",
        "    end>\r\nend\r\n"}) {
    EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
  }
  // The integer field's IsVariable and the string field's NumDecimalPlaces are defaults;
  // key fields declare none.
  const size_t fields = text.find("  InternalFields = <");
  const std::string layout = text.substr(fields, text.find("  InternalIndexDefs") - fields);
  EXPECT_EQ(layout.find("NumDecimalPlaces = 0"), std::string::npos);
  EXPECT_EQ(layout.find("IsVariable = False"), std::string::npos);
  EXPECT_NE(text.find("      IsVariable = False\r\n"), std::string::npos);
}

// A sound text with one line replaced, inserted or removed.
std::string Edited(const std::string& text, const std::string& find, const std::string& replace) {
  const size_t at = text.find(find);
  EXPECT_NE(at, std::string::npos) << find;
  std::string edited = text;
  if (at != std::string::npos) edited.replace(at, find.size(), replace);
  return edited;
}

std::string Nested(int depth) {
  std::string text = "object TTableDef\r\n  KeyFields = ";
  for (int i = 0; i < depth; ++i) text += "< item A = ";
  return text + "1";
}

TEST(TableDefTextTest, DamagedTextsAreRefusedAndChangeNothing) {
  TTableDef source;
  BuildDefinition(source, "Produkty", ProductFields(), {"ixID", "ixOpis"});
  source.SetCreationDate(45000.5);
  const std::string sound = TableDefToText(source);

  struct Case {
    const char* Name;
    std::string Text;
    int Code;
  };
  std::string manyIndexes = sound;
  {
    TTableDef def;
    BuildDefinition(def, "Produkty", ProductFields(), {});
    for (int i = 0; i < 35; ++i) def.InternalIndexDefs().Add().IndexName = std::to_string(i);
    manyIndexes = TableDefToText(def);
  }
  const std::vector<Case> cases = {
      {"empty", "", 8451},
      {"blanks only", " \r\n\t", 8451},
      {"not a definition", "Produkty;Opis", 8451},
      {"other class", Edited(sound, "object TTableDef", "object TVorTable"), 8451},
      {"unknown property", Edited(sound, "  Memory = ", "  Colour = 1\r\n  Memory = "), 8451},
      {"unknown item property",
       Edited(sound, "      FieldNo = 0", "      Length = 4\r\n      FieldNo = 0"), 8451},
      {"missing property", Edited(sound, "  Version = ''\r\n", ""), 8451},
      {"repeated property", Edited(sound, "  OS = ", "  TableName = 'again'\r\n  OS = "), 8451},
      {"out of order",
       Edited(sound, "  AltName = 'Produkty'\r\n  Version = ''\r\n",
              "  Version = ''\r\n  AltName = 'Produkty'\r\n"),
       8451},
      {"string for an integer", Edited(sound, "TableID = 0", "TableID = '0'"), 8451},
      {"integer for a string", Edited(sound, "OS = ''", "OS = 7"), 8451},
      {"identifier for a date", Edited(sound, "CreationDate = 45000.5", "CreationDate = Now"),
       8451},
      {"collection for a boolean", Edited(sound, "Memory = False", "Memory = <>"), 8451},
      {"unknown boolean", Edited(sound, "Memory = False", "Memory = Yes"), 8451},
      {"unknown enumeration", Edited(sound, "soANSI", "soEBCDIC"), 8451},
      {"unterminated string", Edited(sound, "TableName = 'Produkty'", "TableName = 'Produkty"),
       8451},
      {"line break in a string",
       Edited(sound, "TableName = 'Produkty'", "TableName = 'Prod\r\nukty'"), 8451},
      {"byte beyond 255", Edited(sound, "TableName = 'Produkty'", "TableName = #256"), 8451},
      {"dangling continuation", Edited(sound, "TableName = 'Produkty'", "TableName = 'Produkty' +"),
       8451},
      {"integer beyond 64 bits", Edited(sound, "TableID = 0", "TableID = 99999999999999999999"),
       8451},
      {"integer beyond 32 bits", Edited(sound, "TableID = 0", "TableID = 2147483648"), 8451},
      {"negative unsigned", Edited(sound, "OwnerFlag = 0", "OwnerFlag = -1"), 8451},
      {"float beyond double", Edited(sound, "CreationDate = 45000.5", "CreationDate = 1e999"),
       8451},
      {"number glued to a name", Edited(sound, "TableID = 0", "TableID = 0x10"), 8451},
      {"nesting of 17", Nested(17), 8451},
      {"nesting of 100000", Nested(100000), 8451},
      {"unclosed collection", Edited(sound, "    end>\r\nend", "    end\r\nend"), 8451},
      {"text after the end", sound + "object TTableDef\r\nend\r\n", 8451},
      {"control byte", Edited(sound, "  Memory", "\x01 Memory"), 8451},
      {"field type a table cannot hold", Edited(sound, "ftFloat", "ftBCD"), 10000},
      {"field type without a name", Edited(sound, "ftFloat", "ftDouble"), 8451},
      {"field index twice", Edited(sound, "FieldIndex = 2", "FieldIndex = 1"), 8451},
      {"field index beyond the fields", Edited(sound, "FieldIndex = 2", "FieldIndex = 3"), 8451},
      {"string key without size marker",
       Edited(sound, "      DataType = ftInteger\r\n      IsVariable",
              "      DataType = ftString\r\n      IsVariable"),
       8451},
      {"more indexes than a header holds", manyIndexes, 8451},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TTableDef target;
    target.SetTableName("unchanged");
    target.InternalFields().Add().SetFieldName("kept");
    const EngineError error = EngineErrorOf([&] { TableDefFromText(c.Text, target); });
    EXPECT_EQ(error.Code, c.Code) << error.Message;
    if (c.Code == 8451) {
      EXPECT_TRUE(error.HasContext("TTableDef.ReadFromText")) << error.LogLine;
    }
    EXPECT_EQ(target.TableName(), "unchanged");
    ASSERT_EQ(target.InternalFields().Count(), 1);
    EXPECT_EQ(target.InternalFields().Items(0).FieldName(), "kept");
  }
}

TEST(TableDefTextTest, EveryTruncationIsRefused) {
  TTableDef source;
  BuildDefinition(source, "Produkty", ProductFields(), {"ixID"});
  source.SetCreatedBy(std::string(100, 'q'));
  const std::string sound = TableDefToText(source);
  // Cutting only the final line break leaves a complete text.
  for (size_t length = 0; length + 2 < sound.size(); ++length) {
    TTableDef target;
    const int code = EngineErrorOf([&] { TableDefFromText(sound.substr(0, length), target); }).Code;
    ASSERT_EQ(code, 8451) << "cut at " << length;
  }
}

TEST(TableDefTextTest, WritingAndReadingRefuseWhatHasNoSoundForm) {
  TTableDef def;
  def.SetCreationDate(std::nan(""));
  EngineError error = EngineErrorOf([&] { TableDefToText(def); });
  EXPECT_EQ(error.Code, 8581);
  EXPECT_TRUE(error.HasContext("TTableDef.WriteToText"));

  def.SetCreationDate(std::numeric_limits<double>::infinity());
  EXPECT_EQ(EngineErrorOf([&] { TableDefToText(def); }).Code, 8581);

  TTableDef owned;
  owned.SetOwned(true);
  error = EngineErrorOf([&] { TableDefFromText(TableDefToText(TTableDef()), owned); });
  EXPECT_EQ(error.Code, 8577);
  owned.SetOwned(false);
}

}  // namespace
