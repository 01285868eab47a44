// The disk block interface: allocation units and free runs, page-sized releases, the global
// first-empty protocol, and damaged chains and releases.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "IOInterfaceTestSupport.h"
#include "engine/storage/FreeBlockRun.h"

namespace {

using namespace iointerface_test;

const TInterfaceSetup Records100{100, TestTable, dbfile::UsageRecords, 0, 1};
const TInterfaceSetup UserHeaders{256, 0, dbfile::UsageHeader, dbfile::HdrUserHeaderFirstEmpty, 0};

uint32_t HeaderItem(TDiskMgr& mgr, uint32_t offset) {
  std::vector<uint8_t> header(dbfile::GlobalHeaderSize);
  mgr.ReadBytes(dbfile::GlobalHeaderOffset, dbfile::GlobalHeaderSize, header.data(), 0, 0);
  return le::GetU32(header.data() + offset);
}

TEST(DiskIOInterfaceTest, FirstAllocationTakesOnePageAndLeavesTheRestAsOneRun) {
  TTestDatabase db;
  auto io = db.Interface(Records100);
  EXPECT_EQ(io->UnitSize(), P);
  EXPECT_EQ(io->MapFlags(), TestTable * 16 + dbfile::UsageRecords);

  const std::vector<uint8_t> data = Bytes(100, 1);
  const uint32_t page = io->AllocateNewAddress(100, data.data());
  EXPECT_EQ(page, FirstDataPage);
  EXPECT_EQ(db.Read(*io, page, 100), data);
  EXPECT_EQ(io->FirstEmpty(), page + 100);
  EXPECT_EQ(db.GetU32(*io, page + 108), 0u);   // next run
  EXPECT_EQ(db.GetU32(*io, page + 112), 39u);  // blocks in the run
  EXPECT_EQ(diskmgr_test::FirstMapWord(db.Path(), P, diskmgr_test::EntryOffset(P, 6)),
            TestTable * 16 + dbfile::UsageRecords);

  const int64_t end = db.FileEnd();
  for (uint32_t i = 1; i < 40; ++i)
    EXPECT_EQ(io->AllocateNewAddress(100, data.data()), page + 100 * i);
  EXPECT_EQ(db.FileEnd(), end) << "the run is walked without new pages";
  EXPECT_EQ(io->FirstEmpty(), 0u);
  EXPECT_EQ(io->AllocateNewAddress(100, data.data()), page + P);
}

TEST(DiskIOInterfaceTest, ShortRequestsAreZeroFilledBlocks) {
  TTestDatabase db;
  auto io = db.Interface(Records100);
  const std::vector<uint8_t> data = Bytes(10, 2);
  // Once from a new unit, once from a run: neither may read past the 10 bytes given.
  for (int i = 0; i < 2; ++i) {
    const uint32_t address = io->AllocateNewAddress(10, data.data());
    std::vector<uint8_t> expected(100, 0);
    std::copy(data.begin(), data.end(), expected.begin());
    EXPECT_EQ(db.Read(*io, address, 100), expected);
  }
  const uint32_t zero = io->AllocateNewAddress(0, nullptr);
  EXPECT_EQ(db.Read(*io, zero, 100), std::vector<uint8_t>(100, 0));
}

TEST(DiskIOInterfaceTest, ReleasingTwoBlocksAtOnceMakesOneRun) {
  TTestDatabase db;
  auto io = db.Interface(Records100);
  const std::vector<uint8_t> data = Bytes(100, 3);
  const uint32_t first = io->AllocateNewAddress(100, data.data());
  const uint32_t a = io->AllocateNewAddress(100, data.data());
  const uint32_t b = io->AllocateNewAddress(100, data.data());
  ASSERT_EQ(b, a + 100);
  const uint32_t head = io->FirstEmpty();

  io->ReleaseBlock(a, 200);
  EXPECT_EQ(io->FirstEmpty(), a);
  std::vector<uint8_t> expected(200, 0);
  freerun::PutHeader(expected.data(), head, 2);
  EXPECT_EQ(db.Read(*io, a, 200), expected);

  EXPECT_EQ(io->AllocateNewAddress(100, data.data()), a);
  EXPECT_EQ(io->AllocateNewAddress(100, data.data()), b);
  EXPECT_EQ(io->FirstEmpty(), head);
  EXPECT_EQ(db.Read(*io, first, 100), data);
}

TEST(DiskIOInterfaceTest, WholePagesGoBackToThePageMap) {
  TTestDatabase db;
  auto io = db.Interface({8192, TestTable, dbfile::UsageRecords, 0, 1});
  EXPECT_EQ(io->UnitSize(), 2 * P);
  const uint32_t address = io->AllocateNewAddress(8192, Bytes(8192, 4).data());
  EXPECT_EQ(io->FirstEmpty(), 0u) << "a unit of exactly one block leaves no run";
  const uint32_t page = address / P;

  io->SetFirstEmpty(12345 * P);  // must survive untouched
  io->ReleaseBlock(address, 8192);
  EXPECT_EQ(io->FirstEmpty(), 12345u * P);
  for (uint32_t p : {page, page + 1}) {
    EXPECT_NE(diskmgr_test::FirstMapWord(db.Path(), P, diskmgr_test::EntryOffset(P, p)) &
                  dbfile::MapEntryFree,
              0)
        << "page " << p;
  }
  EXPECT_EQ(db.Read(*io, address, 8192), std::vector<uint8_t>(8192, 0));
}

TEST(DiskIOInterfaceTest, PageSizedBlocksComeFromAndReturnToTheMap) {
  TTestDatabase db;
  auto io = db.Interface({4096, TestTable, dbfile::UsageIndex, 0, 1});
  const uint32_t a = io->AllocateNewAddress(4096, Bytes(4096, 5).data());
  const uint32_t b = io->AllocateNewAddress(4096, Bytes(4096, 6).data());
  EXPECT_EQ(b, a + P);
  io->ReleaseBlock(a, 4096);
  EXPECT_EQ(io->FirstEmpty(), 0u);
  EXPECT_EQ(io->AllocateNewAddress(100, Bytes(100, 7).data()), a);
}

TEST(DiskIOInterfaceTest, MultiPageUnitsHoldWholeBlocksAcrossPages) {
  TTestDatabase db;
  auto io = db.Interface({3000, TestTable, dbfile::UsageBlob, 0, 3});
  EXPECT_EQ(io->UnitSize(), 3 * P);
  std::vector<uint32_t> got;
  for (int i = 0; i < 5; ++i)
    got.push_back(io->AllocateNewAddress(3000, Bytes(3000, 10 + i).data()));
  const uint32_t u = got[0];
  EXPECT_EQ(got, (std::vector<uint32_t>{u, u + 3000, u + 6000, u + 9000, u + 3 * P}));
  for (int i = 0; i < 5; ++i) EXPECT_EQ(db.Read(*io, got[i], 3000), Bytes(3000, 10 + i));
  std::vector<uint32_t> listed;
  io->ListBlocks(listed);
  EXPECT_EQ(listed.size(), 8u);
}

TEST(DiskIOInterfaceTest, RequestLargerThanABlockIsRefused) {
  TTestDatabase db;
  auto io = db.Interface({256, TestTable, dbfile::UsageRecords, 0, 1});
  const RaisedError e = ErrorOf([&] { io->AllocateNewAddress(257, Bytes(257, 1).data()); });
  EXPECT_EQ(e.Code, 8581);
  EXPECT_TRUE(EndsWith(e.Message, "Block request sizes < block size")) << e.Message;
  EXPECT_NE(e.Context.find("TDiskIOInterface.AllocateNewAddress"), std::string::npos);
}

TEST(DiskIOInterfaceTest, OpenChecksItsSettings) {
  TTestDatabase db;
  struct Case {
    const char* Name;
    bool WithMgr;
    int32_t BlockSize;
    uint16_t Usage;
    uint16_t TableID;
    const char* Message;
  };
  const Case cases[] = {
      {"no manager", false, 100, 9, 1, "Unable to open Disk IOInterface - DiskMgr is null"},
      {"no usage", true, 100, 0, 1, "Unable to open Disk IOInterface - Usage is not set"},
      {"no block size", true, 0, 9, 1, "Unable to open Disk IOInterface - Block size is 0"},
      {"block below a run header", true, 15, 9, 1,
       "Unable to open Disk IOInterface - Block size is below 16"},
      {"owner beyond the map", true, 100, 9, 2048,
       "Unable to open Disk IOInterface - TableID or Usage is out of range"},
  };
  for (const Case& c : cases) {
    TDiskIOInterface io;
    if (c.WithMgr) io.SetDiskMgr(&db.Mgr());
    io.SetBlockSize(c.BlockSize);
    io.SetUsage(c.Usage);
    io.SetTableID(c.TableID);
    const RaisedError e = ErrorOf([&] { io.Open(); });
    EXPECT_EQ(e.Code, 8581) << c.Name;
    EXPECT_TRUE(EndsWith(e.Message, c.Message)) << c.Name << ": " << e.Message;
    EXPECT_FALSE(io.IsOpen()) << c.Name;
  }
}

TEST(DiskIOInterfaceTest, ReopenLogsAndResizesItsBuffer) {
  TTestDatabase db;
  auto io = db.Interface(Records100);
  io->SetBlockSize(300);
  io->Open();
  EXPECT_NE(EngineLogger().LinesSnapshot().back().find("Open- BlockSize 300 FirstEmpty 0"),
            std::string::npos);
  EXPECT_EQ(db.Read(*io, io->AllocateNewAddress(300, Bytes(300, 1).data()), 300), Bytes(300, 1));
}

TEST(DiskIOInterfaceTest, OwnerKeptFirstEmptyMustBeValidated) {
  TTestDatabase db;
  auto io = db.Interface(Records100);
  io->SetFirstEmptyValidated(false);
  const RaisedError alloc = ErrorOf([&] { io->AllocateNewAddress(100, nullptr); });
  EXPECT_EQ(alloc.Code, 8581);
  EXPECT_TRUE(EndsWith(alloc.Message, "DiskIOInterface - non global first empty not set"));
  const RaisedError release = ErrorOf([&] { io->ReleaseBlock(FirstDataPage, 100); });
  EXPECT_TRUE(EndsWith(release.Message, "DiskIOInterface - non global first empty not set"));
  EXPECT_NE(release.Context.find("TDiskIOInterface.ReleaseBlock"), std::string::npos);
}

TEST(DiskIOInterfaceTest, NotOpenRaises8576) {
  TTestDatabase db;
  TDiskIOInterface io;
  io.SetDiskMgr(&db.Mgr());
  EXPECT_EQ(ErrorOf([&] { io.AllocateNewAddress(1, nullptr); }).Code, 8576);
  auto open = db.Interface(Records100);
  open->Close();
  EXPECT_EQ(ErrorOf([&] { open->ReleaseBlock(FirstDataPage, 100); }).Code, 8576);
}

TEST(DiskIOInterfaceTest, EmptyFreesTheTablesPagesAndNeedsAFreshFirstEmpty) {
  TTestDatabase db;
  auto io = db.Interface(Records100);
  const uint32_t a = io->AllocateNewAddress(100, nullptr);
  io->Empty(true);
  EXPECT_FALSE(io->FirstEmptyValidated());
  EXPECT_NE(diskmgr_test::FirstMapWord(db.Path(), P, diskmgr_test::EntryOffset(P, a / P)) &
                dbfile::MapEntryFree,
            0);
  auto headers = db.Interface(UserHeaders);
  EXPECT_EQ(ErrorOf([&] { headers->Empty(true); }).Code, 8581) << "pages 0-4 are owner 0";
}

// Interfaces whose FirstEmpty lives in the global header.

TEST(DiskIOInterfaceTest, GlobalFirstEmptyIsKeptInTheHeaderAndTheLockGivenBack) {
  TTestDatabase db;
  auto io = db.Interface(UserHeaders);
  const uint32_t a = io->AllocateNewAddress(256, Bytes(256, 1).data());
  EXPECT_FALSE(db.Mgr().HeaderLocked());
  EXPECT_EQ(HeaderItem(db.Mgr(), dbfile::HdrUserHeaderFirstEmpty), a + 256);
  EXPECT_EQ(HeaderItem(db.Mgr(), dbfile::HdrSystemHeaderFirstEmpty), 0u);

  // Another interface (another connection's view) continues the same chain.
  auto other = db.Interface(UserHeaders);
  EXPECT_EQ(other->AllocateNewAddress(256, nullptr), a + 256);
  io->ReleaseBlock(a, 256);
  EXPECT_EQ(HeaderItem(db.Mgr(), dbfile::HdrUserHeaderFirstEmpty), a);
  db.Reopen();
  auto reopened = db.Interface(UserHeaders);
  EXPECT_EQ(reopened->AllocateNewAddress(256, nullptr), a);
  EXPECT_EQ(reopened->AllocateNewAddress(256, nullptr), a + 512);
}

TEST(DiskIOInterfaceTest, GlobalChangeUnderACallersLockKeepsTheLockAndPendingItems) {
  TTestDatabase db;
  auto io = db.Interface(UserHeaders);
  db.Mgr().WriteLockHeader();
  db.Mgr().GlobalHdr()->SetHdrItem(0x40, 77);  // a change the file does not have yet
  const uint32_t a = io->AllocateNewAddress(256, nullptr);
  EXPECT_TRUE(db.Mgr().HeaderWriteLocked());
  EXPECT_EQ(db.Mgr().GlobalHdr()->GlobalInterfaceGetHdrItem(0x40), 77u);
  db.Mgr().UnlockHeader();
  EXPECT_EQ(HeaderItem(db.Mgr(), 0x40), 77u);
  EXPECT_EQ(HeaderItem(db.Mgr(), dbfile::HdrUserHeaderFirstEmpty), a + 256);
}

TEST(DiskIOInterfaceTest, GlobalFailureStillStoresFirstEmptyAndUnlocks) {
  TTestDatabase db;
  auto io = db.Interface(UserHeaders);
  const uint32_t a = io->AllocateNewAddress(256, nullptr);
  db.PutU32(*io, a + 256 + freerun::CountOffset, 0);  // the run at the head is damaged
  EXPECT_EQ(ErrorOf([&] { io->AllocateNewAddress(256, nullptr); }).Code, 8962);
  EXPECT_FALSE(db.Mgr().HeaderLocked());
  EXPECT_EQ(HeaderItem(db.Mgr(), dbfile::HdrUserHeaderFirstEmpty), a + 256);
}

// Damage: a free run read from the file, or a release that does not fit the interface.

struct RunDamage {
  const char* Name;
  // Given the interface, the database and the first block's address (the run starts 100
  // further on with 39 blocks), damages the chain.
  std::function<void(TDiskIOInterface&, TTestDatabase&, uint32_t)> Apply;
};

TEST(DiskIOInterfaceTest, DamagedFreeRunsAreRefusedWithoutChangingAnything) {
  const RunDamage cases[] = {
      {"head below the first data page", [](auto& io, auto&, uint32_t) { io.SetFirstEmpty(P); }},
      {"head between blocks", [](auto& io, auto&, uint32_t a) { io.SetFirstEmpty(a + 150); }},
      {"head past the end of the file",
       [](auto& io, auto& db, uint32_t) { io.SetFirstEmpty(static_cast<uint32_t>(db.FileEnd())); }},
      {"head is a block in use", [](auto& io, auto&, uint32_t a) { io.SetFirstEmpty(a); }},
      {"head is a block in use that looks like a run",
       [](auto& io, auto& db, uint32_t a) {
         std::vector<uint8_t> record(100, 0);
         record[0] = 1;
         freerun::PutHeader(record.data(), 0, 1);
         db.Write(io, a, record);
         io.SetFirstEmpty(a);
       }},
      {"count 0",
       [](auto& io, auto& db, uint32_t a) { db.PutU32(io, a + 100 + freerun::CountOffset, 0); }},
      {"count beyond the page",
       [](auto& io, auto& db, uint32_t a) { db.PutU32(io, a + 100 + freerun::CountOffset, 40); }},
      {"count beyond the unit",
       [](auto& io, auto& db, uint32_t a) {
         db.PutU32(io, a + 100 + freerun::CountOffset, 0x7FFFFFFF);
       }},
      {"next link into its own run",
       [](auto& io, auto& db, uint32_t a) {
         db.PutU32(io, a + 100 + freerun::NextOffset, a + 300);
       }},
      {"next link to itself",
       [](auto& io, auto& db, uint32_t a) {
         db.PutU32(io, a + 100 + freerun::NextOffset, a + 100);
       }},
  };
  for (const RunDamage& c : cases) {
    TTestDatabase db;
    auto io = db.Interface(Records100);
    const std::vector<uint8_t> data = Bytes(100, 9);
    const uint32_t a = io->AllocateNewAddress(100, data.data());
    c.Apply(*io, db, a);
    const uint32_t head = io->FirstEmpty();
    const std::vector<uint8_t> page = db.Read(*io, a, P);
    const RaisedError e = ErrorOf([&] { io->AllocateNewAddress(100, Bytes(100, 1).data()); });
    EXPECT_EQ(e.Code, 8962) << c.Name;
    EXPECT_EQ(io->FirstEmpty(), head) << c.Name;
    EXPECT_EQ(db.Read(*io, a, P), page) << c.Name;
  }
}

TEST(DiskIOInterfaceTest, ReleasesOutsideTheInterfacesBlocksAreRefused) {
  struct Case {
    const char* Name;
    uint32_t Offset;  // from the first data page; P + 1 means "past the end of the file"
    uint32_t Size;
  };
  const Case cases[] = {
      {"between blocks", 150, 100},
      {"crossing the page end", 3900, 200},
      {"more blocks than the page holds", 0, 4100},
      {"past the end of the file", P, 100},
      {"the head of the chain again", 100, 100},
  };
  for (const Case& c : cases) {
    TTestDatabase db;
    auto io = db.Interface(Records100);
    const uint32_t a = io->AllocateNewAddress(100, Bytes(100, 1).data());
    const std::vector<uint8_t> page = db.Read(*io, a, P);
    const RaisedError e = ErrorOf([&] { io->ReleaseBlock(a + c.Offset, c.Size); });
    EXPECT_EQ(e.Code, 8451) << c.Name;
    EXPECT_EQ(io->FirstEmpty(), a + 100) << c.Name;
    EXPECT_EQ(db.Read(*io, a, P), page) << c.Name;
  }
  TTestDatabase db;
  auto io = db.Interface(Records100);
  EXPECT_EQ(ErrorOf([&] { io->ReleaseBlock(P, P); }).Code, 8451) << "the file's own pages";
}

TEST(DiskIOInterfaceTest, PlausibleBlocksAreThoseOfTheInterfacesLayout) {
  TTestDatabase db;
  auto io = db.Interface(Records100);
  const uint32_t a = io->AllocateNewAddress(100, nullptr);
  EXPECT_TRUE(io->IsPlausibleBlock(a));
  EXPECT_TRUE(io->IsPlausibleBlock(a + 3900));
  EXPECT_FALSE(io->IsPlausibleBlock(a + 4000)) << "would cross the page end";
  EXPECT_FALSE(io->IsPlausibleBlock(a + 50));
  EXPECT_FALSE(io->IsPlausibleBlock(0));
  EXPECT_FALSE(io->IsPlausibleBlock(a + P)) << "past the end of the file";
  EXPECT_FALSE(io->IsValidAddress(a)) << "disk interfaces answer false";
  EXPECT_EQ(io->NextAddress(a), 0u);
}

TEST(DiskIOInterfaceTest, TransfersUseThePageFlagsAndOwner) {
  TTestDatabase db;
  db.Mgr().SetMasterKey("key");
  for (uint32_t flags : {1u, 3u, 5u}) {
    auto io = db.Interface({512, static_cast<uint16_t>(10 + flags), dbfile::UsageBlob, 0, flags});
    const uint32_t a = io->AllocateNewAddress(512, Bytes(512, flags).data());
    std::vector<uint8_t> back(512);
    io->ReadBlock(a, 512, back.data());
    EXPECT_EQ(back, Bytes(512, flags));
    io->WriteBlockHeader(a, 16, Bytes(16, 99).data());
    io->ReadBlockHeader(a, 16, back.data());
    EXPECT_TRUE(std::equal(back.begin(), back.begin() + 16, Bytes(16, 99).begin()));
    if (flags != 1) {
      std::vector<uint8_t> raw(512);
      db.Mgr().ReadBytes(a, 512, raw.data(), 0, 0);
      EXPECT_NE(raw, db.Read(*io, a, 512)) << "enciphered on disk with flags " << flags;
    }
  }
  db.Reopen();
  db.Mgr().SetMasterKey("key");
  auto io = db.Interface({512, 15, dbfile::UsageBlob, 0, 5});
  std::vector<uint8_t> back(512);
  io->ReadBlock(FirstDataPage + 2 * P, 512, back.data());
  EXPECT_TRUE(std::equal(back.begin() + 16, back.end(), Bytes(512, 5).begin() + 16));
}

}  // namespace
