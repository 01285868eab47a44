// The page map over real files: allocation and release with their free chains, new map pages,
// owner-wide release and block listing, damaged map pages, and transactions.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "DiskMgrTestSupport.h"

using namespace diskmgr_test;

namespace {

constexpr uint32_t P = 4096;
constexpr uint16_t Records = dbfile::UsageRecords;

class MapPageTest : public ::testing::Test {
 protected:
  void SetUp() override { CreateDatabase(Path, P); }
  std::unique_ptr<TDiskMgr> Open() { return OpenDatabase(Path, P); }
  uint16_t MapWord(uint32_t offset) { return FirstMapWord(Path, P, offset); }

  ScratchDir Dir;
  std::string Path = Dir / "ox.vor";
  std::vector<uint8_t> Page = Pages(P, 1, 0x5A);
};

TEST_F(MapPageTest, AllocatingAppendsAndMarksThePage) {
  auto dm = Open();
  EXPECT_EQ(dm->AllocatePages(1025, 0, Page.data(), 1, Records), 6 * P);
  EXPECT_EQ(MapWord(32), 0x4019);
  const std::vector<uint8_t> bytes = ReadFileBytes(Path);
  ASSERT_EQ(bytes.size(), 7u * P);
  EXPECT_TRUE(std::equal(Page.begin(), Page.end(), bytes.begin() + 6 * P));
  EXPECT_FALSE(dm->HeaderLocked());
  // No free entries anywhere: the header says so.
  EXPECT_EQ(U32(bytes, 1040), 0u);
}

TEST_F(MapPageTest, ReleasedPagesAreChainedInOrderAndReused) {
  auto dm = Open();
  const std::vector<uint8_t> two = Pages(P, 2, 0x11);
  ASSERT_EQ(dm->AllocatePages(3, 0, two.data(), 2, Records), 6 * P);
  dm->ReleasePages(6 * P, 2);
  EXPECT_EQ(MapWord(32), 0x8022);
  EXPECT_EQ(MapWord(34), 0x8000);
  EXPECT_EQ(MapWord(8), 32);
  EXPECT_EQ(U32(ReadFileBytes(Path), 1040), 5 * P);
  // The pages are zero on disk.
  const std::vector<uint8_t> bytes = ReadFileBytes(Path);
  EXPECT_TRUE(
      std::all_of(bytes.begin() + 6 * P, bytes.begin() + 8 * P, [](uint8_t b) { return b == 0; }));

  EXPECT_EQ(dm->AllocatePages(3, 0, Page.data(), 1, Records), 6 * P);
  EXPECT_EQ(MapWord(8), 34);
  EXPECT_EQ(MapWord(32), 0x0039);
  EXPECT_EQ(ReadFileBytes(Path).size(), 8u * P);
}

TEST_F(MapPageTest, RunRequestSkipsShorterRunsButKeepsThemChained) {
  auto dm = Open();
  const std::vector<uint8_t> many = Pages(P, 16, 0x22);
  ASSERT_EQ(dm->AllocatePages(3, 0, many.data(), 16, Records), 6 * P);  // pages 6..21
  dm->ReleasePages(21 * P, 1);
  dm->ReleasePages(10 * P, 1);
  dm->ReleasePages(20 * P, 1);
  EXPECT_EQ(MapWord(8), 40);
  EXPECT_EQ(MapWord(40), 0x8000 | 60);
  EXPECT_EQ(MapWord(60), 0x8000 | 62);
  EXPECT_EQ(MapWord(62), 0x8000);

  const std::vector<uint8_t> two = Pages(P, 2, 0x33);
  EXPECT_EQ(dm->AllocatePages(4, 0, two.data(), 2, Records), 20 * P);
  EXPECT_EQ(MapWord(60), 0x0049);
  EXPECT_EQ(MapWord(62), 0x0049);
  // Page 10 stays findable: it is the next single page handed out.
  EXPECT_EQ(MapWord(8), 40);
  EXPECT_EQ(MapWord(40), 0x8000);
  EXPECT_EQ(dm->AllocatePages(4, 0, Page.data(), 1, Records), 10 * P);
  EXPECT_EQ(MapWord(8), 0);
}

TEST_F(MapPageTest, ReleasingTwiceKeepsTheChainSound) {
  auto dm = Open();
  const std::vector<uint8_t> three = Pages(P, 3, 0x44);
  dm->AllocatePages(3, 0, three.data(), 3, Records);  // pages 6..8
  dm->ReleasePages(7 * P, 1);
  dm->ReleasePages(6 * P, 2);
  EXPECT_EQ(MapWord(8), 32);
  EXPECT_EQ(MapWord(32), 0x8022);
  EXPECT_EQ(MapWord(34), 0x8000);
  EXPECT_EQ(dm->AllocatePages(3, 0, Page.data(), 1, Records), 6 * P);
  EXPECT_EQ(dm->AllocatePages(3, 0, Page.data(), 1, Records), 7 * P);
  EXPECT_EQ(dm->AllocatePages(3, 0, Page.data(), 1, Records), 9 * P);
}

// The first page that the page map hands out in a new file: the global header ends at 1152.
uint32_t FirstDataPage(uint32_t pageSize) {
  return std::max<uint32_t>(dbfile::InitialPageCount, (1152 + pageSize - 1) / pageSize);
}

// Fills map page 0 up to its last page, then allocates page number E.
TEST(MapPageGrowth, PageNumberEAddsAMapPage) {
  for (const uint32_t pageSize : {128u, 256u, 4096u}) {
    SCOPED_TRACE(pageSize);
    ScratchDir dir;
    const std::string path = dir / "grow.vor";
    CreateDatabase(path, static_cast<int32_t>(pageSize));
    auto dm = OpenDatabase(path, static_cast<int32_t>(pageSize));
    const uint32_t e = dbfile::EntriesPerMap(pageSize);
    const uint32_t first = FirstDataPage(pageSize);
    const std::vector<uint8_t> fill = Pages(pageSize, e - first, 0x66);
    ASSERT_EQ(dm->AllocatePages(2, 0, fill.data(), e - first, Records), first * pageSize);
    EXPECT_EQ(dm->GlobalHdr()->MapPageCount(), 1u);

    const std::vector<uint8_t> one = Pages(pageSize, 1, 0x77);
    EXPECT_EQ(dm->AllocatePages(2, 0, one.data(), 1, Records), e * pageSize);
    const std::vector<uint8_t> bytes = ReadFileBytes(path);
    ASSERT_EQ(bytes.size(), size_t{e + 2} * pageSize);
    EXPECT_EQ(U32(bytes, 1024 + 0x18), 2u);
    const size_t map0 = 5 * pageSize;
    const size_t map1 = size_t{e + 1} * pageSize;
    EXPECT_EQ(U32(bytes, map0 + 4), map1);
    EXPECT_EQ(U32(bytes, map1 + 0), 1u);
    EXPECT_EQ(U32(bytes, map1 + 4), 0u);
    EXPECT_EQ(U16(bytes, map1 + 8), 0);
    EXPECT_EQ(U16(bytes, map1 + 20), 0x0029);
    EXPECT_EQ(U16(bytes, map1 + 22), 0x0002);
    EXPECT_EQ(U16(bytes, map0 + 20 + 2 * (e - 1)), 0x0029);
  }
}

TEST(MapPageGrowth, ARunLongerThanAMapPage) {
  constexpr uint32_t pageSize = 256;
  const uint32_t e = dbfile::EntriesPerMap(pageSize);  // 118
  const uint32_t count = 300;                          // pages 6..305, in map pages 0, 1 and 2
  ScratchDir dir;
  const std::string path = dir / "long.vor";
  CreateDatabase(path, pageSize);
  auto dm = OpenDatabase(path, pageSize);
  const std::vector<uint8_t> run = Pages(pageSize, count, 0x12);
  ASSERT_EQ(dm->AllocatePages(6, 0, run.data(), count, Records), 6 * pageSize);
  EXPECT_EQ(dm->GlobalHdr()->MapPageCount(), 3u);
  const std::vector<uint8_t> bytes = ReadFileBytes(path);
  const uint32_t map1 = 6 + count;  // appended behind the run
  const uint32_t map2 = map1 + 1;
  ASSERT_EQ(bytes.size(), size_t{map2 + 1} * pageSize);
  EXPECT_EQ(U32(bytes, 5 * pageSize + 4), map1 * pageSize);
  EXPECT_EQ(U32(bytes, map1 * pageSize + 4), map2 * pageSize);
  EXPECT_EQ(U32(bytes, map2 * pageSize), 2u);
  auto entry = [&](uint32_t mapPage, uint32_t page) {
    return U16(bytes, size_t{mapPage} * pageSize + 20 + 2 * (page % e));
  };
  for (uint32_t page = 6; page < 6 + count; ++page) {
    const uint32_t mapPage = page < e ? 5 : page < 2 * e ? map1 : map2;
    ASSERT_EQ(entry(mapPage, page), 0x0069) << page;
  }
  // Both new map pages lie in the range of map page 2.
  EXPECT_EQ(entry(map2, map1), 0x0002);
  EXPECT_EQ(entry(map2, map2), 0x0002);
}

TEST_F(MapPageTest, SetMapEntryFlagsBeyondTheMap) {
  auto dm = Open();
  const uint32_t e = dbfile::EntriesPerMap(P);
  dm->WriteLockHeader();
  const struct {
    uint16_t flags;
    uint32_t page;
  } cases[] = {{0x4019, 2 * e}, {0x4019, 5 * e}, {0x8000, e}, {0x8000, 3 * e}};
  for (const auto& c : cases) {
    const RaisedError error =
        ErrorOf([&] { dm->MapPageMgr()->SetMapEntryFlags(c.flags, c.page * P, 1); });
    EXPECT_EQ(error.Code, 8581) << c.page;
    EXPECT_NE(error.Message.find("Error in setting map flags - mapping corrupted"),
              std::string::npos);
    EXPECT_NE(error.Context.find("TMapPageMgr.SetMapEntryFlags"), std::string::npos);
  }
  const RaisedError error = ErrorOf([&] { dm->MapPageMgr()->SearchMapsForMapPage(1); });
  EXPECT_EQ(error.Code, 8581);
  EXPECT_NE(error.Message.find("Map Page pageno invalid"), std::string::npos);
  dm->UnlockHeader();
  EXPECT_EQ(ReadFileBytes(Path).size(), 6u * P);
}

TEST(MapPageRequestSize, BestUnits) {
  const struct {
    uint32_t block, page, unit;
  } cases[] = {
      {256, 4096, 4096},   {1000, 4096, 4096},  {2000, 4096, 4096}, {4096, 4096, 4096},
      {3000, 4096, 12288}, {5000, 4096, 45056}, {1, 4096, 4096},    {4097, 4096, 77824},
      {100, 128, 128},     {40, 128, 128},      {96, 128, 128},     {90, 128, 640},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TDiskMgr::GetBestPageRequestSize(c.block, c.page), c.unit)
        << c.block << " in " << c.page;
  }
}

TEST_F(MapPageTest, ReleaseOwnerPagesByOwnerAndUsage) {
  auto dm = Open();
  const struct {
    uint32_t owner;
    uint16_t usage;
  } pages[] = {{7, 9}, {7, 9}, {7, 10}, {8, 9}, {7, 9}};  // pages 6..10
  for (const auto& p : pages) dm->AllocatePages(p.owner, 1, Page.data(), 1, p.usage);
  // Cached copies of the owner's pages must not survive the release.
  std::vector<uint8_t> cached(P);
  dm->ReadPages(6 * P, 1, cached.data(), 1, 7);

  dm->ReleaseOwnerPages(7, 9, true);
  EXPECT_EQ(MapWord(8), 32);
  EXPECT_EQ(MapWord(32), 0x8000 | 34);
  EXPECT_EQ(MapWord(34), 0x8000 | 40);
  EXPECT_EQ(MapWord(36), 0x007A);
  EXPECT_EQ(MapWord(38), 0x0089);
  EXPECT_EQ(MapWord(40), 0x8000);
  std::vector<uint8_t> bytes = ReadFileBytes(Path);
  EXPECT_EQ(U32(bytes, 1040), 5 * P);
  for (const uint32_t page : {6u, 7u, 10u}) {
    EXPECT_TRUE(std::all_of(bytes.begin() + page * P, bytes.begin() + (page + 1) * P,
                            [](uint8_t b) { return b == 0; }))
        << page;
  }
  EXPECT_TRUE(std::equal(Page.begin(), Page.end(), bytes.begin() + 8 * P));
  dm->ReadPages(6 * P, 1, cached.data(), 1, 7);
  EXPECT_TRUE(std::all_of(cached.begin(), cached.end(), [](uint8_t b) { return b == 0; }));

  dm->ReleaseOwnerPages(7, 0, false);
  EXPECT_EQ(MapWord(34), 0x8000 | 36);
  EXPECT_EQ(MapWord(36), 0x8000 | 40);
  EXPECT_EQ(MapWord(38), 0x0089);
  EXPECT_FALSE(dm->HeaderLocked());
}

TEST_F(MapPageTest, ListAllocatedFixedBlocks) {
  auto dm = Open();
  const std::vector<uint8_t> three = Pages(P, 3, 1);
  dm->AllocatePages(4, 0, three.data(), 3, dbfile::UsageBlob);  // pages 6..8
  dm->AllocatePages(4, 0, Page.data(), 1, Records);             // page 9, other usage
  dm->AllocatePages(4, 0, three.data(), 3, dbfile::UsageBlob);  // pages 10..12
  std::vector<uint32_t> list;
  dm->ListAllocatedFixedBlocks(3000, 4, list, dbfile::UsageBlob);
  const std::vector<uint32_t> expected = {6 * P,  6 * P + 3000,  6 * P + 6000,  6 * P + 9000,
                                          10 * P, 10 * P + 3000, 10 * P + 6000, 10 * P + 9000};
  EXPECT_EQ(list, expected);

  dm->ListAllocatedFixedBlocks(1000, 4, list, Records);
  EXPECT_EQ(list, (std::vector<uint32_t>{9 * P, 9 * P + 1000, 9 * P + 2000, 9 * P + 3000}));
  dm->ListAllocatedFixedBlocks(1000, 5, list, Records);
  EXPECT_TRUE(list.empty());

  const std::vector<uint8_t> eleven = Pages(P, 11, 2);
  const uint32_t unit = dm->AllocatePages(5, 0, eleven.data(), 11, Records);
  dm->ListAllocatedFixedBlocks(5000, 5, list, Records);
  ASSERT_EQ(list.size(), 9u);
  for (uint32_t i = 0; i < 9; ++i) EXPECT_EQ(list[i], unit + 5000 * i);
  EXPECT_FALSE(dm->HeaderLocked());
}

TEST_F(MapPageTest, ListAllocatedFixedBlocksChecksItsUnits) {
  auto dm = Open();
  const std::vector<uint8_t> three = Pages(P, 3, 1);
  dm->AllocatePages(4, 0, three.data(), 3, dbfile::UsageBlob);  // pages 6..8
  dm->ReleasePages(7 * P, 1);
  std::vector<uint32_t> list;
  try {
    dm->ListAllocatedFixedBlocks(3000, 4, list, dbfile::UsageBlob);
    ADD_FAILURE() << "no assertion";
  } catch (const EAssertionFailed& e) {
    EXPECT_NE(e.Message().find("Invalid requestpage/pagelist sequence"), std::string::npos);
    EXPECT_NE(e.Message().find("vorDisk"), std::string::npos);
  }
  // The header lock taken for the listing is given back.
  EXPECT_FALSE(dm->HeaderLocked());
  auto other = Open();
  other->WriteLockHeader();
  other->UnlockHeader();

  try {
    dm->ListAllocatedFixedBlocks(0, 4, list, dbfile::UsageBlob);
    ADD_FAILURE() << "no assertion";
  } catch (const EAssertionFailed& e) {
    EXPECT_NE(e.Message().find("Invalid block size of 0 in ListAllocatedFixedBlocks"),
              std::string::npos);
  }
}

TEST_F(MapPageTest, ListingKeepsTheCallersHeaderLock) {
  auto dm = Open();
  auto other = Open();
  dm->AllocatePages(4, 0, Page.data(), 1, Records);
  dm->WriteLockHeader();
  std::vector<uint32_t> list;
  dm->ListAllocatedFixedBlocks(4096, 4, list, Records);
  EXPECT_EQ(list, std::vector<uint32_t>{6 * P});
  EXPECT_TRUE(dm->HeaderWriteLocked());
  EXPECT_EQ(ErrorOf([&] { other->ReadLockHeader(); }).Code, 10249);
  dm->UnlockHeader();
  other->ReadLockHeader();
  other->UnlockHeader();
}

// Each damage of the first map page, and the operations that must refuse it.
TEST_F(MapPageTest, DamagedMapPagesRaiseAndNeverHang) {
  {
    auto dm = Open();
    const std::vector<uint8_t> six = Pages(P, 6, 0xAB);
    dm->AllocatePages(3, 0, six.data(), 6, Records);  // pages 6..11
  }
  const std::vector<uint8_t> good = ReadFileBytes(Path);
  const size_t map = 5 * P;
  using Damage = std::function<void(std::vector<uint8_t>&)>;
  auto chain = [map](std::vector<std::pair<size_t, uint16_t>> words) {
    return [map, words](std::vector<uint8_t>& b) {
      PutU32(b, 1024 + 0x10, 5 * P);
      for (const auto& [offset, value] : words) PutU16(b, map + offset, value);
    };
  };
  const struct {
    const char* name;
    Damage damage;
  } cases[] = {
      {"odd head", chain({{8, 33}})},
      {"head at the page end", chain({{8, 4096}})},
      {"head past the page end", chain({{8, 6000}})},
      {"head inside the map header", chain({{8, 10}})},
      {"head on an allocated entry", chain({{8, 32}})},
      {"odd link", chain({{8, 32}, {32, 0x8000 | 35}})},
      {"link past the end", chain({{8, 32}, {32, 0x8000 | 4096}})},
      {"link to the map header", chain({{8, 32}, {32, 0x8000 | 12}})},
      {"cycle", chain({{8, 32}, {32, 0x8000 | 34}, {34, 0x8000 | 32}})},
      {"self cycle", chain({{8, 32}, {32, 0x8000 | 32}})},
      {"link into an allocated entry", chain({{8, 32}, {32, 0x8000 | 36}})},
      {"map chain loop",
       [map](std::vector<uint8_t>& b) {
         PutU32(b, 1024 + 0x18, 3);
         PutU32(b, map + 4, 5 * P);
       }},
      {"map chain ends early", [](std::vector<uint8_t>& b) { PutU32(b, 1024 + 0x18, 2); }},
      {"map link unaligned",
       [map](std::vector<uint8_t>& b) {
         PutU32(b, 1024 + 0x18, 2);
         PutU32(b, map + 4, 6 * P + 1);
       }},
      {"map link past the file end",
       [map](std::vector<uint8_t>& b) {
         PutU32(b, 1024 + 0x18, 2);
         PutU32(b, map + 4, 100 * P);
       }},
      {"map link to a data page",
       [map](std::vector<uint8_t>& b) {
         PutU32(b, 1024 + 0x18, 2);
         PutU32(b, map + 4, 6 * P);
       }},
      {"first free map page is a data page",
       [](std::vector<uint8_t>& b) { PutU32(b, 1024 + 0x10, 7 * P); }},
      {"no map pages", [](std::vector<uint8_t>& b) { PutU32(b, 1024 + 0x18, 0); }},
  };
  const struct {
    const char* name;
    std::function<void(TDiskMgr&)> run;
  } operations[] = {
      {"allocate 1",
       [](TDiskMgr& dm) {
         const std::vector<uint8_t> page(P, 1);
         dm.AllocatePages(3, 0, page.data(), 1, Records);
       }},
      {"allocate 3",
       [](TDiskMgr& dm) {
         const std::vector<uint8_t> pages(3 * P, 1);
         dm.AllocatePages(3, 0, pages.data(), 3, Records);
       }},
      {"release", [](TDiskMgr& dm) { dm.ReleasePages(9 * P, 1); }},
      {"release owner", [](TDiskMgr& dm) { dm.ReleaseOwnerPages(3, Records, true); }},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> damaged = good;
    c.damage(damaged);
    int raised = 0;
    for (const auto& op : operations) {
      WriteFileBytes(Path, damaged);
      auto dm = Open();
      const RaisedError error = ErrorOf([&] { op.run(*dm); });
      if (error.Code != 0) {
        ++raised;
        EXPECT_EQ(error.Code, 8581) << c.name << " / " << op.name << ": " << error.Message;
      }
      // A failed operation gives the header lock back.
      EXPECT_FALSE(dm->HeaderLocked()) << c.name << " / " << op.name;
    }
    // Every damage is noticed by some operation (the ones that do not look at the damaged
    // part may succeed).
    EXPECT_GT(raised, 0) << c.name;
  }
}

TEST_F(MapPageTest, RolledBackAllocationsLeaveTheFileAsBefore) {
  auto dm = Open();
  const std::vector<uint8_t> four = Pages(P, 4, 3);
  dm->AllocatePages(3, 0, four.data(), 4, Records);  // pages 6..9
  dm->ReleasePages(7 * P, 1);
  const std::vector<uint8_t> before = ReadFileBytes(Path);

  dm->StartTransaction();
  EXPECT_TRUE(dm->InTransaction());
  EXPECT_EQ(dm->AllocatePages(4, 1, Page.data(), 1, Records), 7 * P);
  EXPECT_EQ(dm->AllocatePages(4, 1, Page.data(), 1, Records), 10 * P);
  const std::vector<uint8_t> many = Pages(P, 60, 9);
  dm->AllocatePages(5, 1, many.data(), 60, Records);
  dm->ReleasePages(6 * P, 1);
  dm->ReleaseOwnerPages(3, 0, false);
  EXPECT_EQ(ReadFileBytes(Path), before);
  dm->Rollback();
  EXPECT_FALSE(dm->InTransaction());
  EXPECT_EQ(ReadFileBytes(Path), before);
  // The header in memory is the file's again.
  dm->ReadLockHeader();
  EXPECT_TRUE(std::equal(dm->GlobalHdr()->Buffer.begin(), dm->GlobalHdr()->Buffer.end(),
                         before.begin() + 1024));
  dm->UnlockHeader();
  EXPECT_EQ(dm->AllocatePages(4, 1, Page.data(), 1, Records), 7 * P);

  dm->StartTransaction();
  EXPECT_EQ(dm->AllocatePages(4, 1, Page.data(), 1, Records), 10 * P);
  EXPECT_EQ(ReadFileBytes(Path).size(), 10u * P);
  dm->Commit();
  EXPECT_EQ(ReadFileBytes(Path).size(), 11u * P);
  EXPECT_EQ(MapWord(40), 0x0049);
}

}  // namespace
