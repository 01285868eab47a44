// The disk definition manager on a real database file: creating, opening, closing and
// deleting tables with their open counts and header references, index root blocks, the
// interfaces an open table gets, restructuring, and the refusals.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "TableDefTestSupport.h"
#include "engine/storage/LittleEndian.h"
#include "engine/tables/TableHeader.h"
#include "engine/tables/TableHeaderMgr.h"

namespace {

using namespace tabledef_test;

TRestructureDescription Changes(uint8_t fields, uint8_t indexes) {
  TRestructureDescription description;
  description.FieldChangeStatus = fields;
  description.IndexChangeStatus = indexes;
  return description;
}

class DiskTableDefMgrTest : public DiskTableDefTest {
 protected:
  // Creates a user table with that many indexes and returns its identifier.
  int32_t Create(const std::string& name, int indexCount, TEncryptionLevel level = encNone) {
    TTableDef def;
    std::vector<std::string> indexes;
    for (int i = 0; i < indexCount; ++i) indexes.push_back("ix" + std::to_string(i));
    BuildDefinition(def, name, ProductFields(), indexes);
    def.SetEncryptionLevel(level);
    return FMgr.CreateTableDef(name, def);
  }

  // A caller's definition of a created table, as the catalogue would give it.
  std::unique_ptr<TTableDef> Stored(const std::string& name, int32_t tableID, int indexCount) {
    auto def = std::make_unique<TTableDef>();
    std::vector<std::string> indexes;
    for (int i = 0; i < indexCount; ++i) indexes.push_back("ix" + std::to_string(i));
    BuildDefinition(*def, name, ProductFields(), indexes);
    def->SetTableID(tableID);
    return def;
  }

  std::vector<uint8_t> HeaderBlock(uint32_t tableID) {
    return tables_test::ReadFileBytes(FPath, HeaderAddress(tableID), 256);
  }

  int OpenHeaders() { return FMgr.HeaderMgr()->OpenHeaderCount(); }
};

TEST_F(DiskTableDefMgrTest, OpenCountsFollowConnectionsAndTheLastCloseFreesTheDefinition) {
  TTableDef created;
  BuildDefinition(created, "Produkty", ProductFields(), {"ixID"});
  ASSERT_EQ(FMgr.CreateTableDef("Produkty", created), 1);
  EXPECT_EQ(created.TableID(), 1);
  EXPECT_EQ(created.OwnerFlag(), 16u);
  EXPECT_EQ(FMgr.GetOpenCount("Produkty"), 0);
  EXPECT_EQ(OpenHeaders(), 0);

  auto first = Stored("Produkty", 1, 1);
  auto second = Stored("Produkty", 1, 1);
  FMgr.OpenTableDefConnection("Produkty", *first);
  FMgr.OpenTableDefConnection("produkty", *second);
  EXPECT_EQ(FMgr.GetOpenCount("PRODUKTY"), 2);
  ASSERT_NE(first->TableHeader(), nullptr);
  EXPECT_EQ(first->TableHeader(), second->TableHeader());
  EXPECT_EQ(first->RecordInterface(), second->RecordInterface());
  EXPECT_EQ(first->IndexInterface(), second->IndexInterface());
  EXPECT_TRUE(first->InterfacesOpen());
  EXPECT_FALSE(first->Owned());
  // One owned definition holds one header reference, however many connections it has.
  EXPECT_EQ(first->TableHeader()->OpenCount(), 1);

  FMgr.CloseTableDefConnection(1);
  EXPECT_EQ(FMgr.GetOpenCount("Produkty"), 1);
  EXPECT_EQ(FMgr.Count(), 1);
  FMgr.CloseTableDefConnection(1);
  EXPECT_EQ(FMgr.GetOpenCount("Produkty"), 0);
  EXPECT_EQ(FMgr.Count(), 0);
  EXPECT_EQ(OpenHeaders(), 0);

  // Opening and closing again leaves no header behind, so the table can be deleted.
  auto third = Stored("Produkty", 1, 1);
  FMgr.OpenTableDefConnection("Produkty", *third);
  FMgr.CloseTableDefConnection(1);
  auto fourth = Stored("Produkty", 1, 1);
  FMgr.OpenTableDefConnection("Produkty", *fourth);
  FMgr.DeleteTableDef("Produkty", *fourth);
  EXPECT_EQ(fourth->TableID(), 0);
  EXPECT_EQ(fourth->TableHeader(), nullptr);
  EXPECT_FALSE(fourth->InterfacesOpen());
  EXPECT_EQ(FMgr.Count(), 0);
  EXPECT_EQ(OpenHeaders(), 0);
  EXPECT_EQ(HeaderAddress(1), 0u);
  // The identifier is free again.
  EXPECT_EQ(Create("Dania", 1), 1);
}

TEST_F(DiskTableDefMgrTest, RefusalsNameTheirCodeAndContext) {
  struct Case {
    const char* Name;
    std::function<void()> Action;
    int Code;
    const char* Context;
  };
  ASSERT_EQ(Create("Held", 1), 1);
  auto heldA = Stored("Held", 1, 1);
  auto heldB = Stored("Held", 1, 1);
  FMgr.OpenTableDefConnection("Held", *heldA);
  FMgr.OpenTableDefConnection("Held", *heldB);

  const std::vector<Case> cases = {
      {"in-memory definition",
       [&] {
         TTableDef def;
         BuildDefinition(def, "Mem", ProductFields(), {"ix"}, true);
         FMgr.CreateTableDef("Mem", def);
       },
       8577, "TDiskTableDefMgr.CreateTableDef"},
      {"name already held", [&] { Create("held", 1); }, 8580, "TDiskTableDefMgr.CreateTableDef"},
      {"delete while another connection holds it", [&] { FMgr.DeleteTableDef("Held", *heldA); },
       8578, "TDiskTableDefMgr.DeleteTableDef"},
      {"close of an unknown table", [&] { FMgr.CloseTableDefConnection(77); }, 8579,
       "TDiskTableDefMgr.CloseTableDefConnection"},
      {"clear an owned definition", [&] { FMgr.TableDefs(0).Clear(); }, 8577, "TTableDef.Clear"},
      {"restructure an in-memory definition",
       [&] {
         TTableDef def;
         BuildDefinition(def, "Mem", ProductFields(), {"ix"}, true);
         FMgr.RestructureTableDef(def, TRestructureDescription{});
       },
       8577, "TDiskTableDefMgr.RestructureTableDef"},
      {"restructure an open table",
       [&] {
         auto def = Stored("Held", 1, 2);
         FMgr.RestructureTableDef(*def, Changes(csNewItem, csNewItem));
       },
       8578, "TDiskTableDefMgr.RestructureTableDef"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const EngineError error = EngineErrorOf(c.Action);
    EXPECT_EQ(error.Code, c.Code);
    EXPECT_TRUE(error.HasContext(c.Context)) << error.LogLine;
  }
  // The refused delete left both connections as they were.
  EXPECT_EQ(FMgr.GetOpenCount("Held"), 2);
  EXPECT_EQ(FMgr.Count(), 1);
  FMgr.CloseTableDefConnection(1);
  FMgr.DeleteTableDef("Held", *heldA);
  EXPECT_EQ(FMgr.Count(), 0);
  EXPECT_EQ(HeaderAddress(1), 0u);
}

TEST_F(DiskTableDefMgrTest, EveryIndexGetsAnEmptyRootBlock) {
  const int32_t id = Create("Produkty", 3);
  const std::vector<uint8_t> header = HeaderBlock(static_cast<uint32_t>(id));
  EXPECT_EQ(le::GetU32(&header[36]), 3u);
  EXPECT_EQ(le::GetU32(&header[4]), 2u);  // written by AddTable, then with the roots
  std::vector<uint32_t> roots;
  for (int i = 0; i < 3; ++i) {
    const uint32_t root = le::GetU32(&header[48 + 6 * i]);
    EXPECT_EQ(le::GetU16(&header[52 + 6 * i]), 1u);
    EXPECT_EQ(root % PageSize, 0u);
    std::vector<uint8_t> expected(PageSize, 0);
    le::PutU32(expected.data(), 1);
    EXPECT_EQ(tables_test::ReadFileBytes(FPath, root, PageSize), expected);
    roots.push_back(root);
  }
  EXPECT_NE(roots[0], roots[1]);
  EXPECT_NE(roots[1], roots[2]);
  EXPECT_EQ(OpenHeaders(), 0);
}

TEST_F(DiskTableDefMgrTest, OpenTableGetsItsThreeInterfaces) {
  struct Case {
    TEncryptionLevel Level;
    uint32_t PageFlags;
    bool Blobs;
  };
  FDiskMgr.SetMasterKey("klucz-testowy");
  const std::vector<Case> cases = {{encNone, 1, false}, {encWeak, 3, true}, {encStrong, 5, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.PageFlags);
    const std::string name = "T" + std::to_string(c.PageFlags);
    TTableDef created;
    std::vector<FieldSpec> fields = ProductFields();
    if (c.Blobs) fields.push_back({"Przepis", ftMemo});
    BuildDefinition(created, name, fields, {"ix0", "ix1"});
    created.SetEncryptionLevel(c.Level);
    const int32_t id = FMgr.CreateTableDef(name, created);

    TTableDef def;
    def.Assign(created);
    FMgr.OpenTableDefConnection(name, def);
    auto* index = dynamic_cast<TDiskIOInterface*>(def.IndexInterface());
    auto* blob = dynamic_cast<TDiskIOInterface*>(def.BlobInterface());
    auto* records = dynamic_cast<TDiskIOInterface*>(def.RecordInterface());
    ASSERT_TRUE(index && blob && records);
    for (TDiskIOInterface* io : {index, blob, records}) {
      EXPECT_EQ(io->PageFlags(), c.PageFlags);
      EXPECT_EQ(io->TableID(), id);
      EXPECT_EQ(io->DiskMgr(), &FDiskMgr);
    }
    EXPECT_EQ(index->Usage(), 8);
    EXPECT_EQ(blob->Usage(), 10);
    EXPECT_EQ(records->Usage(), 9);
    EXPECT_EQ(index->GlobalItem(), dbfile::HdrIndexFirstEmpty);
    EXPECT_EQ(blob->GlobalItem(), 0u);
    EXPECT_EQ(records->GlobalItem(), 0u);
    EXPECT_EQ(index->BlockSize(), 4096);
    EXPECT_EQ(blob->BlockSize(), 512);
    EXPECT_EQ(records->BlockSize(), created.InternalFields().RecordSize());
    EXPECT_TRUE(index->IsOpen());
    EXPECT_TRUE(records->IsOpen());
    EXPECT_EQ(blob->IsOpen(), c.Blobs);

    // The roots read back through the table's own (enciphering) interface.
    uint8_t word[4];
    index->ReadBlock(def.TableHeader()->IndexRoot(1), 4, word);
    EXPECT_EQ(le::GetU32(word), 1u);
    FMgr.CloseTableDefConnection(id);
  }
}

TEST_F(DiskTableDefMgrTest, FirstEmptyAddressesComeFromTheHeader) {
  const int32_t id = Create("Produkty", 1);
  {
    TTableHeader& header = FMgr.HeaderMgr()->OpenTable(static_cast<uint32_t>(id));
    header.SetRecordFirstEmpty(0x12340);
    header.SetBlobFirstEmpty(0x56780);
    FMgr.HeaderMgr()->CloseTable(&header);
  }
  auto def = Stored("Produkty", id, 1);
  FMgr.OpenTableDefConnection("Produkty", *def);
  EXPECT_EQ(def->RecordInterface()->FirstEmpty(), 0x12340u);
  EXPECT_EQ(def->BlobInterface()->FirstEmpty(), 0x56780u);
}

TEST_F(DiskTableDefMgrTest, ATableWithoutIndexesUsesPageSizedIndexBlocks) {
  const int32_t id = Create("BezIndeksu", 0);
  EXPECT_EQ(le::GetU32(&HeaderBlock(static_cast<uint32_t>(id))[36]), 0u);
  auto def = Stored("BezIndeksu", id, 0);
  FMgr.OpenTableDefConnection("BezIndeksu", *def);
  EXPECT_EQ(def->IndexInterface()->BlockSize(), 4096);
}

TEST_F(DiskTableDefMgrTest, DamagedBlockSizesAreRefusedWithoutLeavingAnythingOpen) {
  struct Case {
    const char* Name;
    std::function<void(TTableDef&)> Damage;
  };
  const int32_t id = Create("Produkty", 1);
  // The owned copy made at creation goes, so that opening starts from the stored definition.
  FMgr.ClearTableDefs();
  const std::vector<Case> cases = {
      {"index page size 0", [](TTableDef& d) { d.InternalIndexDefs().Items(0).IndexPageSize = 0; }},
      {"index page size 1 GiB",
       [](TTableDef& d) { d.InternalIndexDefs().Items(0).IndexPageSize = 1 << 30; }},
      {"negative blob size",
       [](TTableDef& d) {
         d.SetUsesBlobs(true);
         d.SetDefaultBlobSize(-512);
       }},
      {"huge string field", [](TTableDef& d) { d.InternalFields().Items(1).SetFieldSize(100000); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    auto def = Stored("Produkty", id, 1);
    c.Damage(*def);
    const EngineError error = EngineErrorOf([&] { FMgr.OpenTableDefConnection("Produkty", *def); });
    EXPECT_NE(error.Code, 0);
    EXPECT_EQ(FMgr.Count(), 0);
    EXPECT_EQ(OpenHeaders(), 0);
    EXPECT_FALSE(def->InterfacesOpen());
  }
}

TEST_F(DiskTableDefMgrTest, ATableWhoseRootsCannotBeMadeIsTakenOutAgain) {
  TTableDef def;
  BuildDefinition(def, "Produkty", ProductFields(), {"ix"});
  def.InternalIndexDefs().Items(0).IndexPageSize = 0;
  const EngineError error = EngineErrorOf([&] { FMgr.CreateTableDef("Produkty", def); });
  EXPECT_EQ(error.Code, 8451);
  EXPECT_EQ(FMgr.Count(), 0);
  EXPECT_EQ(HeaderAddress(1), 0u);
  EXPECT_EQ(OpenHeaders(), 0);
  EXPECT_EQ(Create("Produkty", 1), 1);
}

TEST_F(DiskTableDefMgrTest, InternalOpenNeedsAHeaderAndOnlyOpensOwnedDefinitions) {
  TTableDef def;
  BuildDefinition(def, "Produkty", ProductFields(), {"ix"});
  const EngineError error = EngineErrorOf([&] { def.InternalOpen(&FDiskMgr); });
  EXPECT_EQ(error.Code, 8576);
  EXPECT_TRUE(error.HasContext("ProduktyTableDef.InternalOpen")) << error.LogLine;

  const int32_t id = FMgr.CreateTableDef("Produkty", def);
  TTableHeader& header = FMgr.HeaderMgr()->OpenTable(static_cast<uint32_t>(id));
  def.SetTableHeader(&header);
  def.InternalOpen(&FDiskMgr);
  EXPECT_FALSE(def.InterfacesOpen());
  def.SetTableHeader(nullptr);
  FMgr.HeaderMgr()->CloseTable(&header);
}

class DiskRestructureTest : public DiskTableDefMgrTest {
 protected:
  void SetUp() override {
    FID = Create("Produkty", 2);
    TTableHeader& header = FMgr.HeaderMgr()->OpenTable(static_cast<uint32_t>(FID));
    header.SetLastRecordID(7);
    header.SetLastAutoIncValue(11);
    header.SetReserved1(21);
    header.SetReserved2(22);
    FMgr.HeaderMgr()->CloseTable(&header);
    FOldHeader = HeaderBlock(static_cast<uint32_t>(FID));
  }

  uint32_t Item(const std::vector<uint8_t>& header, int offset) {
    return le::GetU32(&header[static_cast<size_t>(offset)]);
  }

  int32_t FID = 0;
  std::vector<uint8_t> FOldHeader;
};

TEST_F(DiskRestructureTest, ChangedFieldsRebuildTheHeaderAndTheRoots) {
  auto def = Stored("Produkty", FID, 3);
  TRestructureDescription description = Changes(csDataRequirementsChanged, csUnchanged);
  description.LastAutoIncValue = 42;
  FMgr.RestructureTableDef(*def, description);

  const std::vector<uint8_t> header = HeaderBlock(static_cast<uint32_t>(FID));
  EXPECT_EQ(Item(header, 0), static_cast<uint32_t>(FID));
  EXPECT_GT(Item(header, 4), Item(FOldHeader, 4));  // the change counter keeps rising
  EXPECT_EQ(Item(header, 8), 256u);
  EXPECT_EQ(Item(header, 16), 42u);  // given
  EXPECT_EQ(Item(header, 20), 0u);   // the records are gone
  EXPECT_EQ(Item(header, 28), 21u);  // carried over
  EXPECT_EQ(Item(header, 32), 22u);
  EXPECT_EQ(Item(header, 36), 3u);
  for (int i = 0; i < 3; ++i) {
    const uint32_t root = Item(header, 48 + 6 * i);
    EXPECT_EQ(le::GetU16(&header[52 + 6 * i]), 1u);
    EXPECT_EQ(tables_test::FileU32(FPath, root), 1u);
  }
  EXPECT_EQ(OpenHeaders(), 0);
}

TEST_F(DiskRestructureTest, ChangedIndexesKeepTheRecordsAndClearDroppedSlots) {
  auto def = Stored("Produkty", FID, 1);
  FMgr.RestructureTableDef(*def, Changes(csDefinitionOnly, csDeletedItem));
  const std::vector<uint8_t> header = HeaderBlock(static_cast<uint32_t>(FID));
  EXPECT_EQ(Item(header, 20), 7u);
  EXPECT_EQ(Item(header, 16), 11u);
  EXPECT_EQ(Item(header, 36), 1u);
  EXPECT_NE(Item(header, 48), Item(FOldHeader, 48));
  // Everything after the one slot is zero again.
  for (size_t i = 54; i < 256; ++i) EXPECT_EQ(header[i], 0) << i;
}

TEST_F(DiskRestructureTest, NameChangesOnlyStoreTheGivenValues) {
  auto def = Stored("Produkty", FID, 2);
  TRestructureDescription description = Changes(csDefinitionOnly, csDefinitionOnly);
  description.Reserved2 = 99;
  FMgr.RestructureTableDef(*def, description);
  std::vector<uint8_t> header = HeaderBlock(static_cast<uint32_t>(FID));
  EXPECT_EQ(Item(header, 32), 99u);
  EXPECT_EQ(Item(header, 4), Item(FOldHeader, 4) + 1);
  // Apart from the counter and the given value, nothing moved.
  le::PutU32(&header[4], Item(FOldHeader, 4));
  le::PutU32(&header[32], 22);
  EXPECT_EQ(header, FOldHeader);
}

TEST_F(DiskTableDefMgrTest, TheManagerNeedsItsInterfaceAndMapAddress) {
  TDiskTableDefMgr mgr;
  EXPECT_EQ(EngineErrorOf([&] { mgr.OpenManager(); }).Code, 8579);
  mgr.SetHeaderInterface(&FHeaderIO);
  const EngineError error = EngineErrorOf([&] { mgr.OpenManager(); });
  EXPECT_EQ(error.Code, 8576);
  EXPECT_TRUE(error.HasContext("TDiskTableDefMgr.InternalInitHeaderMgr"));
  mgr.SetHeaderMapAddress(dbfile::UserTableHeaderMapPage * PageSize);
  mgr.OpenManager();
  ASSERT_NE(mgr.HeaderMgr(), nullptr);
  EXPECT_EQ(mgr.HeaderMgr()->FirstTableID(), 1u);

  TDiskTableDefMgr internal;
  internal.SetInternalTables(true);
  internal.SetHeaderInterface(&FHeaderIO);
  internal.SetHeaderMapAddress(dbfile::SystemTableHeaderMapPage * PageSize);
  internal.OpenManager();
  EXPECT_EQ(internal.HeaderMgr()->FirstTableID(), 1024u);
}

}  // namespace
