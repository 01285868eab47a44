// Field layout: offsets, field types and their sizes, the index map, look-up, copying, and the
// check that refuses layouts that do not fit their records.
#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "TablesTestSupport.h"
#include "engine/storage/VorCommon.h"
#include "engine/tables/InternalFields.h"
#include "engine/tables/SearchFields.h"

namespace {

using tables_test::ErrorOf;

struct FieldDef {
  std::string Name;
  int Type;
  int32_t Size = 0;  // declared size of a string
};

void AddFields(TInternalFields& fields, const std::vector<FieldDef>& defs) {
  int i = 0;
  for (const auto& def : defs) {
    TInternalFieldItem& item = fields.Add();
    item.SetFieldName(def.Name);
    item.SetDataType(def.Type);
    if (def.Type == ftString) {
      item.SetFieldSize(def.Size + 1);
      item.SetIsVariable(true);
    }
    item.SetFieldNo(i);
    item.SetFieldIndex(i);
    ++i;
  }
}

std::string AssertionOf(const std::function<void()>& fn) {
  try {
    fn();
  } catch (const EAssertionFailed& e) {
    return e.Message();
  }
  return "";
}

TEST(FieldLayout, NoFieldsGiveTheFourteenByteRecord) {
  TInternalFields fields;
  fields.SetDefaultOffsets();
  EXPECT_EQ(fields.RecordSize(), 14);
  fields.SetRecordSize(fields.RecordSize());
  EXPECT_NO_THROW(fields.CheckLayout("test"));
}

TEST(FieldLayout, IntegerStringDateTimeExample) {
  TInternalFields fields;
  AddFields(fields, {{"Id", ftInteger}, {"Name", ftString, 40}, {"When", ftDateTime}});
  fields.SetDefaultOffsets();

  struct Expected {
    int32_t NullFlag, Marker, Data, Size;
  };
  const Expected expected[] = {{14, 0, 17, 4}, {15, 21, 23, 41}, {16, 0, 64, 8}};
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    const TInternalFieldItem& item = fields.Items(i);
    EXPECT_EQ(item.NullFlagOffset(), expected[i].NullFlag);
    EXPECT_EQ(item.SizeMarkerOffset(), expected[i].Marker);
    EXPECT_EQ(item.DataOffset(), expected[i].Data);
    EXPECT_EQ(item.FieldSize(), expected[i].Size);
  }
  EXPECT_EQ(fields.RecordSize(), 72);
  EXPECT_NO_THROW(fields.CheckLayout("test"));
}

TEST(FieldLayout, FieldTypesAndTheirDataSizes) {
  struct Case {
    int Type;
    bool Storable;
    int32_t DataSize;  // FieldSize after SetDataType
  };
  const Case cases[] = {
      {ftUnknown, false, 0},  {ftString, true, 0},      {ftSmallint, true, 2},
      {ftInteger, true, 4},   {ftWord, true, 2},        {ftBoolean, true, 1},
      {ftFloat, true, 8},     {ftCurrency, true, 8},    {ftBCD, false, 0},
      {ftDate, true, 8},      {ftTime, true, 8},        {ftDateTime, true, 8},
      {ftBytes, false, 0},    {ftVarBytes, false, 0},   {ftAutoInc, true, 4},
      {ftBlob, true, 8},      {ftMemo, true, 8},        {ftGraphic, true, 8},
      {ftFmtMemo, true, 8},   {ftParadoxOle, false, 0}, {ftWideString, false, 0},
      {ftLargeint, false, 0}, {ftDataSet, false, 0},    {200, false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(FieldTypeName(c.Type));
    TInternalFieldItem item;
    item.SetFieldSize(99);
    auto error = ErrorOf([&] { item.SetDataType(c.Type); });
    if (!c.Storable) {
      EXPECT_EQ(error.Code, 10000);
      EXPECT_NE(error.Message.find(FieldTypeName(c.Type)), std::string::npos) << error.Message;
      EXPECT_EQ(item.FieldSize(), 99);  // a refused type changes nothing
      continue;
    }
    ASSERT_EQ(error.Code, 0);
    EXPECT_EQ(item.FieldSize(), c.DataSize);
    EXPECT_EQ(item.DisplaySize(), c.DataSize);
    EXPECT_EQ(item.IsBlob(), c.Type >= ftBlob && c.Type <= ftFmtMemo);
    // The fixed cores that the key code sizes by agree with the record's data areas.
    if (c.Type != ftString && !item.IsBlob()) {
      EXPECT_EQ(CoreDataSize(c.Type), c.DataSize);
    }
  }
}

TEST(FieldLayout, StringSizesAndDisplaySize) {
  for (int32_t declared : {1, 40, 255}) {
    TInternalFields fields;
    AddFields(fields, {{"S", ftString, declared}});
    fields.SetDefaultOffsets();
    EXPECT_EQ(fields.Items(0).FieldSize(), declared + 1);
    EXPECT_EQ(fields.Items(0).DisplaySize(), declared);
    EXPECT_EQ(fields.RecordSize(), 14 + 1 + 2 + declared + 1);
  }
  for (int32_t fieldSize : {0, 1, 257, -5}) {
    TInternalFields fields;
    AddFields(fields, {{"S", ftString, 10}});
    fields.Items(0).SetFieldSize(fieldSize);
    EXPECT_EQ(ErrorOf([&] { fields.SetDefaultOffsets(); }).Code, 9606) << fieldSize;
  }
}

TEST(FieldLayout, GeneratorIdsAreDrawnPerItemInRange) {
  TInternalFields fields;
  std::set<int32_t> seen;
  for (int i = 0; i < 50; ++i) {
    int32_t id = fields.Add().FieldGeneratorID();
    EXPECT_GE(id, 0);
    EXPECT_LE(id, 2147483646);
    seen.insert(id);
  }
  EXPECT_GT(seen.size(), 1u);
}

TEST(FieldLayout, FindFieldIgnoresCase) {
  TInternalFields fields;
  AddFields(fields, {{"ProduktID", ftInteger}, {"Kalorie", ftFloat}, {"kalorie", ftInteger}});
  ASSERT_NE(fields.FindField("kalorie"), nullptr);
  EXPECT_EQ(fields.FindField("kalorie"), &fields.Items(1));  // the first of equal names
  EXPECT_EQ(fields.FindField("PRODUKTID"), &fields.Items(0));
  EXPECT_EQ(fields.FindField("Bialko"), nullptr);
  EXPECT_EQ(fields.FindField(""), nullptr);
}

TEST(FieldLayout, IndexMapFollowsFieldIndexes) {
  TInternalFields fields;
  AddFields(fields, {{"A", ftInteger}, {"B", ftMemo}, {"C", ftAutoInc}, {"D", ftString, 5}});
  const int32_t indexes[] = {2, 0, 3, 1};
  for (int i = 0; i < 4; ++i) fields.Items(i).SetFieldIndex(indexes[i]);
  fields.BuildIndexMap();
  EXPECT_TRUE(fields.HasBlobs());
  EXPECT_EQ(fields.AutoIncFieldIndex(), 3);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(&fields.FieldByIndex(indexes[i]), &fields.Items(i));

  TInternalFields plain;
  AddFields(plain, {{"A", ftInteger}});
  plain.BuildIndexMap();
  EXPECT_FALSE(plain.HasBlobs());
  EXPECT_EQ(plain.AutoIncFieldIndex(), -1);
}

TEST(FieldLayout, BrokenIndexMapsFailTheirChecks) {
  struct Case {
    std::vector<int32_t> Indexes;
    std::string Text;
  };
  const Case cases[] = {
      {{0, 0}, "Field indexes degenerate"},
      {{0, 2}, "Invalid field index"},
      {{-1, 0}, "Invalid field index"},
  };
  for (const auto& c : cases) {
    TInternalFields fields;
    for (int32_t index : c.Indexes) fields.Add().SetFieldIndex(index);
    std::string message = AssertionOf([&] { fields.BuildIndexMap(); });
    EXPECT_NE(message.find(c.Text), std::string::npos) << message;
    EXPECT_NE(message.find("vorDataUnit"), std::string::npos) << message;
    // A failed build leaves no half map behind.
    EXPECT_NE(AssertionOf([&] { fields.FieldByIndex(0); }), "");
  }
  TInternalFields fields;
  AddFields(fields, {{"A", ftInteger}});
  fields.BuildIndexMap();
  EXPECT_NE(AssertionOf([&] { fields.FieldByIndex(1); }).find("Invalid field index in GetField"),
            std::string::npos);
  EXPECT_NE(AssertionOf([&] { fields.FieldByIndex(300); }), "");
}

TEST(FieldLayout, AssignCopiesItemsAndStartsTheLayoutAfresh) {
  TInternalFields source;
  AddFields(source, {{"A", ftAutoInc}, {"B", ftString, 12}, {"C", ftBlob}});
  source.Items(1).SetOldFieldName("Old");
  source.Items(1).SetPrivileges(0x1234);
  source.Items(1).SetNumDecimalPlaces(3);
  source.Items(1).SetRequired(true);
  source.SetDefaultOffsets();
  source.BuildIndexMap();

  TInternalFields copy;
  AddFields(copy, {{"X", ftInteger}});
  copy.Assign(source);
  ASSERT_EQ(copy.Count(), 3);
  EXPECT_EQ(copy.RecordSize(), 0);
  EXPECT_FALSE(copy.HasBlobs());
  EXPECT_EQ(copy.AutoIncFieldIndex(), -1);
  for (int i = 0; i < 3; ++i) {
    const auto& a = source.Items(i);
    const auto& b = copy.Items(i);
    EXPECT_EQ(a.FieldName(), b.FieldName());
    EXPECT_EQ(a.DataType(), b.DataType());
    EXPECT_EQ(a.FieldSize(), b.FieldSize());
    EXPECT_EQ(a.DataOffset(), b.DataOffset());
    EXPECT_EQ(a.SizeMarkerOffset(), b.SizeMarkerOffset());
    EXPECT_EQ(a.NullFlagOffset(), b.NullFlagOffset());
    EXPECT_EQ(a.FieldGeneratorID(), b.FieldGeneratorID());
    EXPECT_EQ(a.IsVariable(), b.IsVariable());
    EXPECT_EQ(&copy.FieldByIndex(i), &b);
  }
  EXPECT_EQ(copy.Items(1).OldFieldName(), "Old");
  EXPECT_EQ(copy.Items(1).Privileges(), 0x1234u);
  EXPECT_EQ(copy.Items(1).NumDecimalPlaces(), 3);
  EXPECT_TRUE(copy.Items(1).Required());

  // Search fields keep their own flags between themselves and take the layout from either.
  TSearchFields search;
  search.Assign(source);
  ASSERT_EQ(search.Count(), 3);
  search.Items(0).SetInIndex(1);
  search.Items(0).SetKeyFlag(1);
  TSearchFields search2;
  search2.Assign(search);
  EXPECT_EQ(search2.Items(0).InIndex(), 1);
  EXPECT_EQ(search2.Items(0).KeyFlag(), 1);
  EXPECT_EQ(search2.Items(1).InIndex(), 0);
  ASSERT_NE(search2.FindField("b"), nullptr);
  EXPECT_EQ(search2.FindField("b")->FieldName(), "B");
}

TEST(FieldLayout, LayoutsThatDoNotFitTheRecordAreRefused) {
  struct Case {
    const char* What;
    std::function<void(TInternalFields&)> Damage;
  };
  const Case cases[] = {
      {"data past the end", [](auto& f) { f.Items(2).SetDataOffset(f.RecordSize() - 4); }},
      {"data in the null flags", [](auto& f) { f.Items(0).SetDataOffset(15); }},
      {"negative data offset", [](auto& f) { f.Items(0).SetDataOffset(-8); }},
      {"huge data offset", [](auto& f) { f.Items(0).SetDataOffset(0x7FFFFFFF); }},
      {"null flag in the header", [](auto& f) { f.Items(1).SetNullFlagOffset(2); }},
      {"null flag in the data", [](auto& f) { f.Items(1).SetNullFlagOffset(17); }},
      {"marker past the end", [](auto& f) { f.Items(1).SetSizeMarkerOffset(f.RecordSize() - 1); }},
      {"string too long", [](auto& f) { f.Items(1).SetFieldSize(300); }},
      {"fixed size changed", [](auto& f) { f.Items(2).SetFieldSize(4); }},
      {"record too small", [](auto& f) { f.SetRecordSize(16); }},
      {"record size negative", [](auto& f) { f.SetRecordSize(-1); }},
      {"unknown type", [](auto& f) { f.Add(); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.What);
    TInternalFields fields;
    AddFields(fields, {{"A", ftInteger}, {"B", ftString, 40}, {"C", ftDateTime}});
    fields.SetDefaultOffsets();
    c.Damage(fields);
    EXPECT_EQ(ErrorOf([&] { fields.CheckLayout("TRecordMgr.Open"); }).Code, 8451);
  }
}

}  // namespace
