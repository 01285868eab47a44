// Index definitions and the index manager: derivation of definitions and their sizes, the
// manager's look-ups and failures, key navigation, the upkeep of three indexes through a
// random sequence of record changes against a model, and the definition's text form.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "engine/index/DeriveIndexDef.h"
#include "engine/index/IndexManager.h"
#include "engine/tables/FieldValue.h"
#include "engine/tables/TableDef.h"
#include "engine/tables/TableDefText.h"
#include "tests/engine/index/IndexTestSupport.h"
#include "tests/engine/index/IndexedTable.h"

namespace index_test {
namespace {

using TFields = std::vector<std::tuple<std::string, TFieldType, int32_t>>;

// ---- deriving definitions ----

struct TDeriveCase {
  const char* Name;
  TFields Fields;
  std::vector<TIndexDefSource> Indexes;
  int Error;               // expected engine error of the last index, 0 for none
  int KeyFieldCount;       // of the last index
  int32_t KeyDataOffset;   // K
  int32_t MaximumKeySize;  // M
};

const TFields NameField = {{"Name", ftString, 20}};
TFields IntegerFields(int n) {
  TFields fields;
  for (int i = 0; i < n; ++i)
    fields.emplace_back(std::string(1, 'I').append(std::to_string(i)), ftInteger, 0);
  return fields;
}
const TFields WideStrings(int32_t second) {
  return {{"S1", ftString, 256}, {"S2", ftString, second}};
}

class DeriveTest : public testing::TestWithParam<TDeriveCase> {};

TEST_P(DeriveTest, SizesAndErrors) {
  const TDeriveCase& c = GetParam();
  TInternalFields fields;
  for (size_t i = 0; i < c.Fields.size(); ++i) {
    TInternalFieldItem& item = fields.Add();
    item.SetFieldName(std::get<0>(c.Fields[i]));
    item.SetDataType(std::get<1>(c.Fields[i]));
    if (std::get<1>(c.Fields[i]) == ftString) item.SetFieldSize(std::get<2>(c.Fields[i]));
    item.SetFieldIndex(static_cast<int32_t>(i));
  }
  fields.SetDefaultOffsets();
  TKeyFields keys;
  TInternalIndexDefs defs;
  const TIndexTarget target{fields, false, keys, defs};
  std::vector<TIndexDefSource> leading(c.Indexes.begin(), c.Indexes.end() - 1);
  if (c.Indexes.size() == 1 && c.Indexes[0].Name == LogicalRecNoIndexName) {
    DeriveIndexDefs({}, target);
  } else {
    DeriveIndexDefs(leading, target);
    const int keysBefore = keys.Count(), defsBefore = defs.Count();
    EXPECT_EQ(ErrorOf([&] { DeriveIndexDef(c.Indexes.back(), false, target); }), c.Error);
    if (c.Error != 0) {
      // A refused definition leaves the table definition as it was.
      EXPECT_EQ(keys.Count(), keysBefore);
      EXPECT_EQ(defs.Count(), defsBefore);
      return;
    }
  }
  const TInternalIndexDef& def = defs.Items(defs.Count() - 1);
  EXPECT_EQ(keys.CountForIndex(def.IndexName), c.KeyFieldCount);
  EXPECT_EQ(def.KeyDataOffset, c.KeyDataOffset);
  EXPECT_EQ(def.MaximumKeySize, c.MaximumKeySize);
  EXPECT_EQ(def.IndexPageSize, 4096);
  EXPECT_EQ(def.IndexSequence, defs.Count() - 1);
  EXPECT_TRUE(def.Maintained);
}

TIndexDefSource Index(const char* name, const char* fields, uint32_t options = 0) {
  return {name, fields, options, "", ""};
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DeriveTest,
    testing::Values(
        TDeriveCase{"Hidden", NameField, {Index(LogicalRecNoIndexName, "")}, 0, 1, 1, 15},
        // 10 + K 1 + (2 + 20) + record id 4
        TDeriveCase{"NonUniqueString", NameField, {Index("ByName", "Name")}, 0, 2, 1, 37},
        TDeriveCase{
            "UniqueString", NameField, {Index("ByName", "Name", ixopt::Unique)}, 0, 1, 1, 33},
        TDeriveCase{"EightFieldsK2",
                    IntegerFields(8),
                    {Index("Wide", "I0;I1;I2;I3;I4;I5;I6;I7", ixopt::Primary)},
                    0,
                    8,
                    2,
                    44},
        TDeriveCase{"SevenPlusHiddenK2",
                    IntegerFields(7),
                    {Index("Wide", "I0;I1;I2;I3;I4;I5;I6")},
                    0,
                    8,
                    2,
                    44},
        TDeriveCase{
            "Exactly500", WideStrings(229), {Index("Big", "S1;S2", ixopt::Unique)}, 0, 2, 1, 500},
        TDeriveCase{
            "Size501", WideStrings(230), {Index("Big", "S1;S2", ixopt::Unique)}, 9602, 0, 0, 0},
        TDeriveCase{"UnknownField", NameField, {Index("X", "Nope")}, 10116, 0, 0, 0},
        TDeriveCase{"MemoField", {{"Notes", ftMemo, 0}}, {Index("X", "Notes")}, 10117, 0, 0, 0},
        TDeriveCase{
            "DuplicateName", NameField, {Index("X", "Name"), Index("x", "Name")}, 10027, 0, 0, 0},
        TDeriveCase{"SecondFieldFails", IntegerFields(2), {Index("X", "I0;I9")}, 10116, 0, 0, 0}),
    [](const testing::TestParamInfo<TDeriveCase>& info) { return info.param.Name; });

TEST(DeriveIndexDefTest, OptionsReachTheKeyFields) {
  TTableSchema schema(
      {{"Name", ftString, 20}, {"Name2", ftString, 20}, {"N", ftInteger, 0}},
      {{"ByNames", "Name;Name2;N", ixopt::Descending | ixopt::CaseInsensitive, "Name2", "name;N"}});
  ASSERT_EQ(schema.KeyFields.Count(), 4);
  struct TExpect {
    const char* Field;
    bool Descending, CaseInsensitive, Hidden;
  };
  // Listed names are whole names: "Name2" in the list does not make "Name" descending.
  const TExpect expect[] = {{"Name", false, true, false},
                            {"Name2", true, false, false},
                            {"N", false, true, false},
                            {"", true, false, true}};
  for (int i = 0; i < 4; ++i) {
    const TKeyFieldItem& key = schema.KeyFields.Items(i);
    SCOPED_TRACE(i);
    EXPECT_EQ(key.FieldName, expect[i].Field);
    EXPECT_EQ(key.Descending, expect[i].Descending);
    EXPECT_EQ(key.CaseInsensitive, expect[i].CaseInsensitive);
    EXPECT_EQ(key.Hidden, expect[i].Hidden);
    EXPECT_EQ(key.KeyIndex, i);
  }
  const TKeyFieldItem& hidden = schema.KeyFields.Items(3);
  EXPECT_EQ(hidden.RecBufOffset, 6);
  EXPECT_EQ(hidden.NullFlagOffset, 0);
  EXPECT_EQ(hidden.PhysicalFieldNo, -1);
  EXPECT_EQ(hidden.DataType, ftInteger);
}

TEST(DeriveIndexDefTest, StringWithoutSizeMarkerIsRefused) {
  TInternalFields fields;
  TInternalFieldItem& item = fields.Add();
  item.SetFieldName("Name");
  item.SetDataType(ftString);
  item.SetFieldSize(20);
  fields.SetDefaultOffsets();
  item.SetSizeMarkerOffset(0);
  TKeyFields keys;
  TInternalIndexDefs defs;
  EXPECT_EQ(ErrorOf([&] {
              DeriveIndexDef(Index("X", "Name"), false, {fields, false, keys, defs});
            }),
            8581);
  EXPECT_EQ(defs.Count(), 0);
  EXPECT_EQ(keys.Count(), 0);
}

// ---- the manager without a file ----

// Items on (A, B, C), (B, A) and case-insensitive (A, B), in that order.
class ManagerLookupTest : public testing::Test {
 protected:
  ManagerLookupTest()
      : Schema({{"A", ftString, 10}, {"B", ftInteger, 0}, {"C", ftInteger, 0}},
               {Index("ABC", "A;B;C", ixopt::Unique),
                Index("BA", "B;A", ixopt::Unique),
                {"CiAB", "A;B", ixopt::Unique | ixopt::CaseInsensitive, "", ""}}) {
    Manager.Assign(Schema.IndexDefs);
    Manager.AssignKeyFields(Schema.KeyFields);
  }
  TTableSchema Schema;
  TIndexManager Manager;
};

TEST_F(ManagerLookupTest, IndexForFields) {
  struct TCase {
    const char* Fields;
    bool CaseSensitiveOnly;
    const char* Expect;  // nullptr: none
  };
  const TCase cases[] = {
      {"A;B", false, "ABC"}, {"a;b", true, "ABC"},    {"B;A", false, "BA"},
      {"B", false, "BA"},    {"A;C", false, nullptr}, {"A;B;C;A", false, nullptr},
      {"C", false, nullptr}, {"", false, "ABC"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Fields);
    TIndexItem* item = Manager.IndexForFields(c.Fields, c.CaseSensitiveOnly);
    if (c.Expect == nullptr) {
      EXPECT_EQ(item, nullptr);
    } else {
      ASSERT_NE(item, nullptr);
      EXPECT_EQ(item->IndexName, c.Expect);
    }
  }
  // With the case-insensitive index first, only caseSensitiveOnly passes it by.
  TIndexManager reordered;
  TInternalIndexDefs defs;
  defs.Add().Assign(Schema.IndexDefs.Items(2));
  defs.Add().Assign(Schema.IndexDefs.Items(0));
  reordered.Assign(defs);
  TKeyFields keys;
  for (int i = 0; i < Schema.KeyFields.Count(); ++i) {
    if (Schema.KeyFields.Items(i).IndexName != "BA") keys.Add().Assign(Schema.KeyFields.Items(i));
  }
  reordered.AssignKeyFields(keys);
  EXPECT_EQ(reordered.IndexForFields("A;B", false)->IndexName, "CiAB");
  EXPECT_EQ(reordered.IndexForFields("A;B", true)->IndexName, "ABC");
}

TEST_F(ManagerLookupTest, NamesAndFailures) {
  EXPECT_EQ(Manager.FindIndex("ba")->IndexName, "BA");
  EXPECT_EQ(Manager.FindIndex("nope"), nullptr);
  Manager.SetCurrentIndexName("CIAB");
  EXPECT_EQ(Manager.CurrentIndex().IndexName, "CiAB");
  EXPECT_EQ(Manager.Items(0).KeyFields.Count(), 3);
  EXPECT_EQ(Manager.Items(1).KeyFields.Items(0).FieldName, "B");

  struct TCase {
    const char* Name;
    std::function<void(TIndexManager&)> Run;
    int Error;
  };
  const TCase cases[] = {
      {"UnknownCurrent",
       [](TIndexManager& m) {
         m.SetCurrentIndexName("x");
         m.CurrentIndex();
       },
       9997},
      {"NoSortFunction", [](TIndexManager& m) { m.Open(); }, 8581},
      {"NoTableHeader", [](TIndexManager& m) { m.LoadRoots(true); }, -1},
      {"NoIOInterface", [](TIndexManager& m) { m.Items(0).Open(); }, 8581},
      {"KeyFieldOfUnknownIndex",
       [this](TIndexManager& m) {
         TKeyFields keys;
         keys.Assign(Schema.KeyFields);
         keys.Items(2).IndexName = "Gone";
         m.AssignKeyFields(keys);
       },
       9997},
      {"IndexWithoutKeyFields",
       [this](TIndexManager& m) {
         TKeyFields keys;
         for (int i = 0; i < Schema.KeyFields.Count(); ++i) {
           if (Schema.KeyFields.Items(i).IndexName != "BA")
             keys.Add().Assign(Schema.KeyFields.Items(i));
         }
         m.AssignKeyFields(keys);
       },
       8581},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TIndexManager m;
    m.Assign(Manager);
    EXPECT_EQ(ErrorOf([&] { c.Run(m); }), c.Error);
  }
}

// ---- a table in a file ----

TEST(IndexManagerFileTest, TableWithoutIndexesHasTheHiddenOne) {
  TScratchDir dir;
  TTableSchema schema({{"Name", ftString, 20}}, {});
  TIndexedTable table(dir.File("t.vor"), schema);
  TIndexManager& m = table.Indexes();
  ASSERT_EQ(m.Count(), 1);
  EXPECT_EQ(m.Items(0).IndexName, "_LogicalRecNo");
  EXPECT_TRUE(m.Items(0).Hidden);
  ASSERT_EQ(m.Items(0).KeyFields.Count(), 1);
  EXPECT_EQ(m.Items(0).KeyFields.Items(0).DataType, ftInteger);
  EXPECT_EQ(m.VisibleCount(), 0);
  // Records come back in the order they were added.
  std::vector<uint32_t> added;
  for (int i = 0; i < 5; ++i) added.push_back(table.Insert(table.NewRecord()));
  EXPECT_EQ(table.Walk("_LogicalRecNo"), added);
}

TEST(IndexManagerFileTest, SkipKeys) {
  TScratchDir dir;
  TTableSchema schema({{"Id", ftInteger, 0}}, {Index("ById", "Id", ixopt::Unique)});
  TIndexedTable table(dir.File("t.vor"), schema);
  const TInternalFieldItem& id = table.Records().Fields().Items(0);
  for (int32_t v = 1; v <= 5; ++v) {
    auto record = table.NewRecord();
    TFieldValue::Set(id, record, {reinterpret_cast<const uint8_t*>(&v), 4});
    table.Insert(record);
  }
  TIndexItem& item = *table.Indexes().FindIndex("ById");
  auto valueAt = [&] {
    return le::GetU32(table.Read(item.GetRecordAddress()).data() + id.DataOffset());
  };
  struct TCase {
    int Start;  // key ordinal, 1-based
    int Skip;
    bool Result;
    uint32_t End;
  };
  const TCase cases[] = {{2, -3, false, 1}, {2, -1, true, 1}, {2, 0, true, 2},
                         {1, 4, true, 5},   {4, 3, false, 5}, {5, -4, true, 1}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.Start << " skip " << c.Skip);
    ASSERT_TRUE(item.Tree().First());
    ASSERT_TRUE(item.SkipKeys(c.Start - 1));
    EXPECT_EQ(item.SkipKeys(c.Skip), c.Result);
    EXPECT_EQ(valueAt(), c.End);
  }
}

TEST(IndexManagerFileTest, EmptyIndexesStartsEveryTreeAfresh) {
  TScratchDir dir;
  TTableSchema schema({{"Id", ftInteger, 0}},
                      {Index("ById", "Id", ixopt::Unique), Index("ByIdDup", "Id")});
  TIndexedTable table(dir.File("t.vor"), schema);
  table.Insert(table.NewRecord());  // a null id: a second one violates ById
  EXPECT_EQ(ErrorOf([&] { table.Insert(table.NewRecord()); }), 9729);
  const uint32_t oldRoot = table.Header().IndexRoot(1);
  table.Indexes().EmptyIndexes();
  for (int i = 0; i < 2; ++i) {
    TIndexItem& item = table.Indexes().Items(i);
    EXPECT_EQ(item.TotalKeys(), 0);
    EXPECT_EQ(table.Header().IndexRoot(static_cast<uint32_t>(i)), item.Root);
    EXPECT_EQ(table.Header().IndexDepth(static_cast<uint32_t>(i)), 1);
  }
  EXPECT_NE(table.Header().IndexRoot(1), oldRoot);
  const uint32_t address = table.Insert(table.NewRecord());
  EXPECT_EQ(table.Walk("ByIdDup"), std::vector<uint32_t>{address});
}

// Stored definitions are untrusted: values that do not fit the file stop the index from
// opening instead of steering node transfers outside their blocks.
TEST(IndexManagerFileTest, DamagedDefinitionsDoNotOpen) {
  TScratchDir dir;
  TTableSchema schema({{"Id", ftInteger, 0}, {"Name", ftString, 20}},
                      {Index("ById", "Id", ixopt::Unique), Index("ByName", "Name")});
  TIndexedTable table(dir.File("t.vor"), schema);
  struct TCase {
    const char* Name;
    std::function<void(TInternalIndexDef&)> Damage;
    int Error;
  };
  const TCase cases[] = {
      {"Sound", [](TInternalIndexDef&) {}, 0},
      {"PageSizeOfOtherBlocks", [](TInternalIndexDef& d) { d.IndexPageSize = 8192; }, 8581},
      {"SequenceBeyondHeader", [](TInternalIndexDef& d) { d.IndexSequence = 9; }, 8581},
      {"NegativeSequence", [](TInternalIndexDef& d) { d.IndexSequence = -1; }, 8581},
      {"KeySizeTooSmall", [](TInternalIndexDef& d) { d.MaximumKeySize = 20; }, 8581},
      {"KeySizeBeyondEntries", [](TInternalIndexDef& d) { d.MaximumKeySize = 70000; }, 8581},
      {"NoNullFlagBytes", [](TInternalIndexDef& d) { d.KeyDataOffset = 0; }, 8581},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TInternalIndexDefs defs;
    defs.Assign(schema.IndexDefs);
    c.Damage(defs.Items(1));
    TIndexManager m;
    m.SetSortFunction(&CompareAsciiKeys);
    m.Assign(defs);
    m.AssignKeyFields(schema.KeyFields);
    m.SetIOInterface(table.Indexes().IOInterface());
    m.SetTableHeader(&table.Header());
    EXPECT_EQ(ErrorOf([&] { m.Open(); }), c.Error);
    m.CloseIndexes();
  }
}

// Three indexes of one table kept through random inserts, updates and deletes, compared with
// a model after every batch and after the file is closed and opened again.
class MaintenanceTest : public testing::Test {
 protected:
  struct TRow {
    int32_t Id;
    std::string Name;
    double Price;
    uint32_t RecordId;
  };

  MaintenanceTest()
      : Schema({{"Id", ftInteger, 0}, {"Name", ftString, 12}, {"Price", ftFloat, 0}},
               {Index("ById", "Id", ixopt::Unique),
                {"ByName", "Name", ixopt::CaseInsensitive, "", ""},
                {"ByPriceName", "Price;Name", ixopt::Descending, "Price", ""}}) {}

  std::vector<uint8_t> Image(TIndexedTable& table, const TRow& row, std::vector<uint8_t> record) {
    const TInternalFields& f = table.Records().Fields();
    TFieldValue::Set(f.Items(0), record, {reinterpret_cast<const uint8_t*>(&row.Id), 4});
    TFieldValue::Set(f.Items(1), record,
                     {reinterpret_cast<const uint8_t*>(row.Name.data()), row.Name.size()});
    TFieldValue::Set(f.Items(2), record, {reinterpret_cast<const uint8_t*>(&row.Price), 8});
    return record;
  }

  // Each index's record addresses in the model's key order.
  std::map<std::string, std::vector<uint32_t>> ModelOrder() const {
    std::map<int32_t, uint32_t> byId;
    std::map<std::pair<std::string, uint32_t>, uint32_t> byName;
    std::map<std::tuple<double, std::string, int64_t>, uint32_t> byPriceName;
    for (const auto& [address, row] : Rows) {
      byId[row.Id] = address;
      byName[{row.Name, row.RecordId}] = address;
      byPriceName[{-row.Price, row.Name, -int64_t{row.RecordId}}] = address;
    }
    std::map<std::string, std::vector<uint32_t>> order;
    for (const auto& e : byId) order["ById"].push_back(e.second);
    for (const auto& e : byName) order["ByName"].push_back(e.second);
    for (const auto& e : byPriceName) order["ByPriceName"].push_back(e.second);
    return order;
  }

  void CheckAgainstModel(TIndexedTable& table) {
    const auto order = ModelOrder();
    for (const char* name : {"ById", "ByName", "ByPriceName"}) {
      SCOPED_TRACE(name);
      const auto it = order.find(name);
      const std::vector<uint32_t> expected =
          it == order.end() ? std::vector<uint32_t>{} : it->second;
      EXPECT_EQ(table.Walk(name), expected);
      EXPECT_EQ(table.Indexes().FindIndex(name)->TotalKeys(), static_cast<int64_t>(Rows.size()));
    }
    // Every row is found by its id.
    TIndexItem& byId = *table.Indexes().FindIndex("ById");
    for (const auto& [address, row] : Rows) {
      const auto probe = Image(table, row, table.NewRecordImage());
      byId.SetSearchKeyFromRecord(probe, nullptr);
      ASSERT_EQ(byId.Find(fmExact), 0) << row.Id;
      EXPECT_EQ(byId.GetRecordAddress(), address);
    }
  }

  TRow RandomRow(std::mt19937& rng) {
    static const char* names[] = {"a", "b", "ab", "ba", "abc", "c", "cab", "bb"};
    TRow row;
    row.Id = static_cast<int32_t>(rng() % 3000) - 500;
    row.Name = names[rng() % 8];
    row.Price = 0.5 * static_cast<double>(rng() % 12);
    return row;
  }

  TTableSchema Schema;
  std::map<uint32_t, TRow> Rows;  // by record address
};

TEST_F(MaintenanceTest, RandomChangesMatchTheModel) {
  TScratchDir dir;
  const std::string path = dir.File("t.vor");
  std::mt19937 rng(20240611);
  uint32_t tableID = 0;
  int refused = 0;
  {
    TIndexedTable table(path, Schema);
    tableID = table.TableID();
    for (int batch = 0; batch < 30; ++batch) {
      for (int step = 0; step < 60; ++step) {
        const unsigned op = Rows.empty() ? 0 : rng() % 10;
        if (op < 5) {  // insert
          TRow row = RandomRow(rng);
          auto record = table.NewRecordImage();
          row.RecordId = le::GetU32(record.data() + 6);
          record = Image(table, row, std::move(record));
          const bool duplicate = std::any_of(Rows.begin(), Rows.end(),
                                             [&](const auto& r) { return r.second.Id == row.Id; });
          if (duplicate) {
            EXPECT_EQ(ErrorOf([&] { table.Insert(record); }), 9729);
            ++refused;
          } else {
            Rows[table.Insert(record)] = row;
          }
          continue;
        }
        auto it = Rows.begin();
        std::advance(it, static_cast<long>(rng() % Rows.size()));
        const uint32_t address = it->first;
        const auto stored = table.Read(address);
        if (op < 8) {  // update: one of the fields, or nothing
          TRow row = it->second;
          const TRow other = RandomRow(rng);
          switch (rng() % 4) {
            case 0:
              row.Id = other.Id;
              break;
            case 1:
              row.Name = other.Name;
              break;
            case 2:
              row.Price = other.Price;
              break;
            default:
              break;
          }
          const auto changed = Image(table, row, stored);
          const bool duplicate = std::any_of(Rows.begin(), Rows.end(), [&](const auto& r) {
            return r.first != address && r.second.Id == row.Id;
          });
          if (duplicate) {
            EXPECT_EQ(ErrorOf([&] { table.Update(address, stored, changed); }), 9729);
            ++refused;
          } else {
            table.Update(address, stored, changed);
            it->second = row;
          }
        } else {  // delete
          table.Delete(address, stored);
          Rows.erase(it);
        }
      }
      CheckAgainstModel(table);
      if (HasFailure()) return;
    }
    EXPECT_GE(table.Indexes().FindIndex("ByName")->Depth, 2);
    // Keys of a record that is gone cannot be deleted again.
    const auto record = Image(table, {99999, "zz", 1.0, 0}, table.NewRecordImage());
    EXPECT_EQ(ErrorOf([&] { table.Indexes().DeleteRecordKeys(record, 16); }), 8708);
  }
  EXPECT_GT(refused, 0);
  EXPECT_GT(Rows.size(), 50u);
  TIndexedTable reopened(path, Schema, tableID);
  CheckAgainstModel(reopened);
  for (const auto& [address, row] : Rows) {
    const auto record = reopened.Read(address);
    EXPECT_EQ(static_cast<int32_t>(
                  le::GetU32(record.data() + reopened.Records().Fields().Items(0).DataOffset())),
              row.Id);
  }
}

// ---- the text form ----

TEST(IndexDefTextTest, DefinitionRoundTrips) {
  TTableSchema schema(
      {{"Id", ftInteger, 0}, {"Name", ftString, 40}, {"When", ftDateTime, 0}},
      {Index("ById", "Id", ixopt::Primary | ixopt::Unique),
       {"ByName", "Name;When", ixopt::CaseInsensitive | ixopt::Descending, "When", ""}});
  TTableDef original;
  original.SetTableID(7);
  original.SetTableName("Produkty");
  original.SetRecordSize(schema.Fields.RecordSize());
  original.InternalFields().Assign(schema.Fields);
  original.KeyFields().Assign(schema.KeyFields);
  original.InternalIndexDefs().Assign(schema.IndexDefs);
  original.InternalIndexDefs().Items(1).IndexKeyType = ikMinStringLen;
  original.InternalIndexDefs().Items(1).Memory = true;

  const std::string text = TableDefToText(original);
  TTableDef read;
  TableDefFromText(text, read);
  EXPECT_EQ(TableDefToText(read), text);

  const TInternalIndexDefs& a = original.InternalIndexDefs();
  const TInternalIndexDefs& b = read.InternalIndexDefs();
  ASSERT_EQ(b.Count(), a.Count());
  for (int i = 0; i < a.Count(); ++i) {
    const TInternalIndexDef& x = a.Items(i);
    const TInternalIndexDef& y = b.Items(i);
    EXPECT_EQ(std::tie(x.Hidden, x.Primary, x.Unique, x.IndexName, x.Maintained, x.Memory,
                       x.IndexPageSize, x.MaximumKeySize, x.KeyDataOffset, x.IndexSequence,
                       x.IndexKeyType),
              std::tie(y.Hidden, y.Primary, y.Unique, y.IndexName, y.Maintained, y.Memory,
                       y.IndexPageSize, y.MaximumKeySize, y.KeyDataOffset, y.IndexSequence,
                       y.IndexKeyType));
  }
  ASSERT_EQ(read.KeyFields().Count(), original.KeyFields().Count());
  for (int i = 0; i < original.KeyFields().Count(); ++i) {
    const TKeyFieldItem& x = original.KeyFields().Items(i);
    const TKeyFieldItem& y = read.KeyFields().Items(i);
    EXPECT_EQ(std::tie(x.CaseInsensitive, x.Descending, x.FieldSize, x.DataType, x.IsVariable,
                       x.FieldName, x.RecBufOffset, x.NullFlagOffset, x.PhysicalFieldNo,
                       x.IndexName, x.Hidden, x.SizeMarkerOffset, x.KeyIndex),
              std::tie(y.CaseInsensitive, y.Descending, y.FieldSize, y.DataType, y.IsVariable,
                       y.FieldName, y.RecBufOffset, y.NullFlagOffset, y.PhysicalFieldNo,
                       y.IndexName, y.Hidden, y.SizeMarkerOffset, y.KeyIndex));
  }
  // The read definition opens the same indexes.
  TIndexManager manager;
  manager.Assign(read.InternalIndexDefs());
  manager.AssignKeyFields(read.KeyFields());
  EXPECT_EQ(manager.FindIndex("ByName")->KeyFields.Count(), 3);
}

}  // namespace
}  // namespace index_test
