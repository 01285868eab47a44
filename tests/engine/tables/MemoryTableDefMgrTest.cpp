// The in-memory definition manager: tables live in memory interfaces from creation to
// deletion, connections only count, and the refusals of the disk manager apply.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "TableDefTestSupport.h"
#include "engine/storage/LittleEndian.h"
#include "engine/storage/MemoryIOInterface.h"
#include "engine/tables/MemoryTableDefMgr.h"
#include "engine/tables/TableHeader.h"
#include "engine/tables/TableHeaderMgr.h"
#include "platform/StringList.h"

namespace {

using namespace tabledef_test;

class MemoryTableDefMgrTest : public ::testing::Test {
 protected:
  MemoryTableDefMgrTest() { FMgr.OpenManager(); }

  int32_t Create(const std::string& name, int indexCount) {
    TTableDef def;
    std::vector<std::string> indexes;
    for (int i = 0; i < indexCount; ++i) indexes.push_back("ix" + std::to_string(i));
    BuildDefinition(def, name, ProductFields(), indexes, true);
    return FMgr.CreateTableDef(name, def);
  }

  TMemoryTableDefMgr FMgr;
};

TEST_F(MemoryTableDefMgrTest, TablesLiveUntilDeletedWhateverTheirConnections) {
  ASSERT_EQ(Create("Temp", 3), 1);
  EXPECT_EQ(FMgr.GetOpenCount("Temp"), 0);

  TTableDef first;
  first.SetMemory(true);
  FMgr.OpenTableDefConnection("temp", first);
  // The caller's definition becomes a copy of the owned one.
  EXPECT_EQ(first.TableName(), "Temp");
  EXPECT_EQ(first.TableID(), 1);
  EXPECT_EQ(first.InternalIndexDefs().Count(), 3);
  auto* index = dynamic_cast<TMemoryIOInterface*>(first.IndexInterface());
  ASSERT_NE(index, nullptr);
  EXPECT_NE(dynamic_cast<TMemoryIOInterface*>(first.RecordInterface()), nullptr);
  EXPECT_EQ(first.RecordInterface()->BlockSize(), first.RecordSize());
  ASSERT_NE(first.TableHeader(), nullptr);
  EXPECT_EQ(first.TableHeader()->IndexCount(), 3u);
  for (uint32_t i = 0; i < 3; ++i) {
    const uint8_t* root = index->BlockData(first.TableHeader()->IndexRoot(i));
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(le::GetU32(root), 1u);
    EXPECT_EQ(first.TableHeader()->IndexDepth(i), 1);
  }
  const uint32_t record = first.RecordInterface()->AllocateNewAddress(4, "data");

  FMgr.CloseTableDefConnection(1);
  FMgr.CloseTableDefConnection(1);
  EXPECT_EQ(FMgr.GetOpenCount("Temp"), 0);
  EXPECT_EQ(FMgr.Count(), 1);

  // The data is still there for the next connection.
  TTableDef second;
  FMgr.OpenTableDefConnection("Temp", second);
  EXPECT_EQ(second.RecordInterface(), first.RecordInterface());
  EXPECT_TRUE(second.RecordInterface()->Exists(record));
  EXPECT_EQ(FMgr.GetOpenCount("Temp"), 1);

  FMgr.DeleteTableDef("Temp", second);
  EXPECT_EQ(second.TableID(), 0);
  EXPECT_EQ(second.TableHeader(), nullptr);
  EXPECT_EQ(FMgr.Count(), 0);
  EXPECT_EQ(FMgr.HeaderMgr()->OpenHeaderCount(), 0);
  EXPECT_EQ(FMgr.HeaderMgr()->Map().Count(), 0);
}

TEST_F(MemoryTableDefMgrTest, RefusalsNameTheirCodeAndContext) {
  struct Case {
    const char* Name;
    std::function<void()> Action;
    int Code;
    const char* Context;
  };
  ASSERT_EQ(Create("Held", 1), 1);
  TTableDef heldA, heldB;
  FMgr.OpenTableDefConnection("Held", heldA);
  FMgr.OpenTableDefConnection("Held", heldB);
  const std::vector<Case> cases = {
      {"disk definition",
       [&] {
         TTableDef def;
         BuildDefinition(def, "Disk", ProductFields(), {"ix"}, false);
         FMgr.CreateTableDef("Disk", def);
       },
       8577, "MemoryTableDefMgr.CreateTableDef"},
      {"name already held", [&] { Create("HELD", 1); }, 8580, "MemoryTableDefMgr.CreateTableDef"},
      {"unknown name",
       [&] {
         TTableDef def;
         FMgr.OpenTableDefConnection("Nothing", def);
       },
       8579, "TMemoryTableDefMgr.OpenTableDefConnection"},
      {"delete while another connection holds it", [&] { FMgr.DeleteTableDef("Held", heldA); },
       8578, "TMemoryTableDefMgr.DeleteTableDef"},
      {"restructure", [&] { FMgr.RestructureTableDef(heldA, TRestructureDescription{}); }, 10766,
       "TMemoryTableDefMgr.RestructureTableDef"},
      {"close of an unknown table", [&] { FMgr.CloseTableDefConnection(5); }, 8579,
       "TMemoryTableDefMgr.CloseTableDefConnection"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const EngineError error = EngineErrorOf(c.Action);
    EXPECT_EQ(error.Code, c.Code);
    EXPECT_TRUE(error.HasContext(c.Context)) << error.LogLine;
  }
  EXPECT_EQ(FMgr.GetOpenCount("Held"), 2);
  FMgr.CloseTableDefConnection(1);
  FMgr.DeleteTableDef("Held", heldA);
  EXPECT_EQ(FMgr.Count(), 0);
}

TEST_F(MemoryTableDefMgrTest, ListsNamesAndStartsInternalIdentifiersAt1024) {
  Create("Pierwsza", 1);
  Create("Druga", 0);
  TStringList names;
  names.Add("before");
  FMgr.ListTableNames(names);
  ASSERT_EQ(names.Count(), 3);
  EXPECT_EQ(names[1], "Pierwsza");
  EXPECT_EQ(names[2], "Druga");
  EXPECT_EQ(FMgr.IndexOfTableName("DRUGA"), 1);
  EXPECT_EQ(FMgr.IndexOfTableID(1), 0);
  EXPECT_EQ(FMgr.IndexOfTableID(9), -1);

  TMemoryTableDefMgr internal;
  internal.SetInternalTables(true);
  internal.OpenManager();
  TTableDef def;
  BuildDefinition(def, "$Internal", ProductFields(), {"ix"}, true);
  EXPECT_EQ(internal.CreateTableDef("$Internal", def), 1024);
}

TEST_F(MemoryTableDefMgrTest, ClearingFreesEverythingAndCreationNeedsAnOpenManager) {
  Create("Temp", 1);
  TTableDef def;
  FMgr.OpenTableDefConnection("Temp", def);
  FMgr.ClearTableDefs();
  EXPECT_EQ(FMgr.Count(), 0);
  EXPECT_EQ(FMgr.HeaderMgr(), nullptr);
  EXPECT_EQ(FMgr.MemoryInterface(), nullptr);
  EXPECT_EQ(EngineErrorOf([&] { Create("Temp", 1); }).Code, 8576);
  FMgr.OpenManager();
  EXPECT_EQ(Create("Temp", 1), 1);
}

}  // namespace
