// The page cache and the block cache over in-memory IO methods that record every transfer.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "VorFileTestSupport.h"
#include "engine/storage/CacheBlockMgr.h"
#include "engine/storage/CacheMgr.h"

using vorfile_test::ErrorCodeOf;

namespace {

constexpr uint32_t P = 256;

struct TTransfer {
  char Kind;  // 'R' or 'W'
  uint32_t Address;
  uint32_t TableID;
  bool operator==(const TTransfer&) const = default;
};

// A disk of pages whose bytes are all (address / P + 1); writes are kept.
class TPageDisk {
 public:
  void Attach(TCacheMgr& cache) {
    cache.ReadIO = [this](uint8_t* data, uint32_t tableID, uint32_t address, uint32_t) {
      Log.push_back({'R', address, tableID});
      auto it = Pages.find(address);
      if (it != Pages.end()) {
        std::memcpy(data, it->second.data(), P);
      } else {
        std::memset(data, static_cast<int>(address / P + 1), P);
      }
    };
    cache.WriteIO = [this](const uint8_t* data, uint32_t tableID, uint32_t address, uint32_t) {
      Log.push_back({'W', address, tableID});
      Pages[address].assign(data, data + P);
    };
  }
  std::vector<TTransfer> Reads() const { return Only('R'); }
  std::vector<TTransfer> Writes() const { return Only('W'); }

  std::map<uint32_t, std::vector<uint8_t>> Pages;
  std::vector<TTransfer> Log;

 private:
  std::vector<TTransfer> Only(char kind) const {
    std::vector<TTransfer> out;
    for (const auto& t : Log)
      if (t.Kind == kind) out.push_back(t);
    return out;
  }
};

class PageCacheTest : public ::testing::Test {
 protected:
  void OpenCache(uint32_t capacity) {
    Disk.Attach(Cache);
    Cache.Open(capacity, P);
  }
  uint8_t ReadByte(uint32_t page, uint32_t tableID = 1) {
    uint8_t b = 0;
    Cache.ReadPages(&b, tableID, 1, page * P, 1);
    return b;
  }
  void WriteByte(uint32_t page, uint8_t value, uint32_t tableID = 1) {
    Cache.WritePages(&value, tableID, 1, page * P, 1);
  }
  void WritePage(uint32_t page, uint8_t value, uint32_t tableID = 1) {
    std::vector<uint8_t> data(P, value);
    Cache.WritePages(data.data(), tableID, P, page * P, 1);
  }
  size_t CountState(TCacheState state) const {
    size_t n = 0;
    for (int32_t i = 0; i < Cache.Count(); ++i) n += Cache.Page(i).State == state;
    return n;
  }

  TPageDisk Disk;
  TCacheMgr Cache;
};

}  // namespace

TEST(CacheOpenTest, MissingIOMethodsRaise10065) {
  std::string message;
  TCacheMgr pages;
  EXPECT_EQ(ErrorCodeOf([&] { pages.Open(50, P); }, &message), 10065);
  EXPECT_NE(message.find("ReadIO"), std::string::npos);
  pages.ReadIO = [](uint8_t*, uint32_t, uint32_t, uint32_t) {};
  EXPECT_EQ(ErrorCodeOf([&] { pages.Open(50, P); }, &message), 10065);
  EXPECT_NE(message.find("WriteIO"), std::string::npos);

  TCacheBlockMgr blocks;
  EXPECT_EQ(ErrorCodeOf([&] { blocks.Open(); }, &message), 10065);
  EXPECT_NE(message.find("ReadIO"), std::string::npos);
  blocks.ReadIO = [](uint8_t*, uint32_t, uint32_t) {};
  EXPECT_EQ(ErrorCodeOf([&] { blocks.StartTransaction(); }, &message), 10065);
  EXPECT_NE(message.find("WriteIO"), std::string::npos);
}

TEST_F(PageCacheTest, OpenAllocatesCapacityEmptyZeroedPages) {
  OpenCache(7);
  EXPECT_EQ(Cache.Count(), 7);
  EXPECT_EQ(CountState(TCacheState::Empty), 7u);
  EXPECT_EQ(Cache.AddressMask(), 0u - P);
  EXPECT_EQ(Cache.Page(3).Data[P - 1], 0);
  EXPECT_EQ(std::string(CacheStateName(TCacheState::Dirty)), "Dirty");
}

TEST_F(PageCacheTest, ReadsHitAfterFirstMissAndSpanPages) {
  OpenCache(4);
  std::vector<uint8_t> buf(P + 20);
  Cache.ReadPages(buf.data(), 1, P + 20, P - 10, 1);  // last 10 bytes of page 0, all of 1, 10 of 2
  EXPECT_EQ(buf[0], 1);
  EXPECT_EQ(buf[10], 2);
  EXPECT_EQ(buf[P + 19], 3);
  EXPECT_EQ(Cache.Misses(), 3u);
  Cache.ReadPages(buf.data(), 1, 5, P + 3, 1);
  EXPECT_EQ(Cache.Hits(), 1u);
  EXPECT_EQ(Disk.Reads().size(), 3u);
}

TEST_F(PageCacheTest, DifferentTableIdReadsAgain) {
  OpenCache(4);
  ReadByte(2, 1);
  ReadByte(2, 1);
  ReadByte(2, 7);
  EXPECT_EQ(Disk.Reads(), (std::vector<TTransfer>{{'R', 2 * P, 1}, {'R', 2 * P, 7}}));
  EXPECT_EQ(Cache.Page(Cache.FindPage(2 * P)).TableID, 7u);
}

TEST_F(PageCacheTest, EvictsLeastRecentlyUsedCleanPage) {
  OpenCache(3);
  ReadByte(0);
  ReadByte(1);
  ReadByte(2);
  ReadByte(0);  // page 1 is now the least recently used
  ReadByte(3);  // evicts page 1
  EXPECT_EQ(Cache.FindPage(1 * P), -1);
  EXPECT_GE(Cache.FindPage(0), 0);
  EXPECT_GE(Cache.FindPage(2 * P), 0);
  Disk.Log.clear();
  ReadByte(0);
  ReadByte(2);
  ReadByte(3);
  EXPECT_TRUE(Disk.Reads().empty());
  ReadByte(1);  // evicts page 0, the least recently used now
  EXPECT_EQ(Disk.Reads(), (std::vector<TTransfer>{{'R', 1 * P, 1}}));
  EXPECT_EQ(Cache.FindPage(0), -1);
  EXPECT_EQ(Cache.Count(), 3);
}

TEST_F(PageCacheTest, WritesOutsideTransactionGoThroughAtOnce) {
  OpenCache(3);
  WriteByte(1, 0xAB);  // partial: read first
  EXPECT_EQ(Disk.Log, (std::vector<TTransfer>{{'R', P, 1}, {'W', P, 1}}));
  EXPECT_EQ(Disk.Pages[P][0], 0xAB);
  EXPECT_EQ(Disk.Pages[P][1], 2);
  Disk.Log.clear();
  WritePage(2, 0x11);  // whole page: no read
  EXPECT_EQ(Disk.Log, (std::vector<TTransfer>{{'W', 2 * P, 1}}));
  EXPECT_EQ(Cache.Page(Cache.FindPage(2 * P)).State, TCacheState::Clean);
}

TEST_F(PageCacheTest, TransactionGrowsInsteadOfEvictingAndShrinksAfterwards) {
  OpenCache(3);
  ReadByte(9);
  Cache.StartTransaction();
  for (uint32_t page = 0; page < 5; ++page) WritePage(page, static_cast<uint8_t>(0x40 + page));
  ReadByte(8);  // a clean page is not evicted inside a transaction either
  EXPECT_EQ(Cache.Count(), 7);
  EXPECT_GE(Cache.FindPage(9 * P), 0);
  EXPECT_TRUE(Disk.Writes().empty());
  Cache.Commit();
  EXPECT_EQ(Cache.Count(), 3);  // grown by 4: back to capacity
  for (int32_t i = 0; i < Cache.Count(); ++i) {
    const TCachePage& p = Cache.Page(i);
    if (p.State != TCacheState::Empty) {
      EXPECT_EQ(Cache.FindPage(p.Address), i);
    }
  }
  for (uint32_t page = 0; page < 5; ++page) EXPECT_EQ(Disk.Pages[page * P][0], 0x40 + page);
}

TEST_F(PageCacheTest, ShrinkOnlyWhenThreeOrMoreOverCapacity) {
  struct TCase {
    uint32_t Pages;
    int32_t CountAfter;
  };
  for (const TCase c : {TCase{4, 4}, TCase{5, 5}, TCase{6, 3}, TCase{9, 3}}) {
    TPageDisk disk;
    TCacheMgr cache;
    disk.Attach(cache);
    cache.Open(3, P);
    cache.StartTransaction();
    std::vector<uint8_t> data(P, 1);
    for (uint32_t page = 0; page < c.Pages; ++page)
      cache.WritePages(data.data(), 1, P, page * P, 1);
    cache.Rollback();
    EXPECT_EQ(cache.Count(), c.CountAfter) << c.Pages;
    for (int32_t i = 0; i < cache.Count(); ++i) EXPECT_EQ(cache.Page(i).State, TCacheState::Empty);
    for (uint32_t page = 0; page < c.Pages; ++page) EXPECT_EQ(cache.FindPage(page * P), -1);
  }
}

TEST_F(PageCacheTest, CommitWritesDirtyPagesInCollectionOrder) {
  OpenCache(4);
  ReadByte(7);
  ReadByte(6);  // pages 0 and 1 of the collection
  Cache.StartTransaction();
  WriteByte(5, 1);  // collection index 2
  WriteByte(6, 2);  // index 1
  WritePage(9, 3);  // index 3
  WriteByte(7, 4);  // index 0
  WritePage(4, 5);  // grows: index 4
  Disk.Log.clear();
  Cache.Commit();
  EXPECT_EQ(
      Disk.Writes(),
      (std::vector<TTransfer>{
          {'W', 7 * P, 1}, {'W', 6 * P, 1}, {'W', 5 * P, 1}, {'W', 9 * P, 1}, {'W', 4 * P, 1}}));
  EXPECT_EQ(CountState(TCacheState::Dirty), 0u);
}

TEST_F(PageCacheTest, CommittedPagesKeepTheirPlaceInTheLruOrder) {
  OpenCache(3);
  ReadByte(0);
  Cache.StartTransaction();
  WriteByte(1, 9);
  ReadByte(2);
  WriteByte(1, 8);  // used last
  Cache.Commit();
  ReadByte(0);  // order of use now: 2, 1, 0
  ReadByte(3);  // evicts 2
  EXPECT_EQ(Cache.FindPage(2 * P), -1);
  ReadByte(4);  // evicts 1
  EXPECT_EQ(Cache.FindPage(1 * P), -1);
  EXPECT_GE(Cache.FindPage(0), 0);
}

TEST_F(PageCacheTest, RollbackEmptiesDirtyPagesOnly) {
  OpenCache(4);
  ReadByte(3);
  Cache.StartTransaction();
  WriteByte(1, 0x77);
  Cache.Rollback();
  EXPECT_TRUE(Disk.Writes().empty());
  EXPECT_EQ(Cache.FindPage(1 * P), -1);
  EXPECT_GE(Cache.FindPage(3 * P), 0);
  EXPECT_EQ(ReadByte(1), 2);  // read again from the disk
}

TEST_F(PageCacheTest, CommitAndRollbackWithoutTransactionRaise10257) {
  OpenCache(2);
  EXPECT_EQ(ErrorCodeOf([&] { Cache.Commit(); }), 10257);
  EXPECT_EQ(ErrorCodeOf([&] { Cache.Rollback(); }), 10257);
}

TEST_F(PageCacheTest, InvalidateKeepsDirtyPages) {
  OpenCache(4);
  ReadByte(0, 5);
  ReadByte(1, 5);
  ReadByte(2, 6);
  Cache.Invalidate(0);
  EXPECT_EQ(Cache.FindPage(0), -1);
  Cache.StartTransaction();
  WriteByte(3, 0x55, 5);
  Cache.InvalidateTable(5);
  EXPECT_EQ(Cache.FindPage(1 * P), -1);
  EXPECT_GE(Cache.FindPage(2 * P), 0);
  EXPECT_GE(Cache.FindPage(3 * P), 0);  // a pending change survives
  Cache.Commit();
  EXPECT_EQ(Disk.Pages[3 * P][0], 0x55);
}

TEST_F(PageCacheTest, DirtyPageReadForAnotherTableIsNotReadAgain) {
  OpenCache(4);
  bool recoded = false;
  Cache.RecodeIO = [&](uint8_t*, uint32_t from, uint32_t, uint32_t to, uint32_t) {
    recoded = from == 1 && to == 2;
  };
  Cache.StartTransaction();
  WriteByte(1, 0x99, 1);
  Disk.Log.clear();
  EXPECT_EQ(ReadByte(1, 2), 0x99);
  EXPECT_TRUE(recoded);
  EXPECT_TRUE(Disk.Reads().empty());
  EXPECT_EQ(Cache.Page(Cache.FindPage(P)).State, TCacheState::Dirty);
}

TEST_F(PageCacheTest, FailedReadLeavesNoPageBehind) {
  OpenCache(2);
  Cache.ReadIO = [](uint8_t*, uint32_t, uint32_t, uint32_t) {
    throw EVorDatabaseError(9217, "", "");
  };
  EXPECT_EQ(ErrorCodeOf([&] { ReadByte(1); }), 9217);
  EXPECT_EQ(Cache.FindPage(P), -1);
  EXPECT_EQ(CountState(TCacheState::Empty), 2u);
}

// ---- Block cache ----

namespace {

class BlockCacheTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Disk.assign(8192, 0xEE);
    Cache.ReadIO = [this](uint8_t* data, uint32_t count, uint32_t address) {
      std::memcpy(data, Disk.data() + address, count);
    };
    Cache.WriteIO = [this](const uint8_t* data, uint32_t count, uint32_t address) {
      Writes.push_back(address);
      std::memcpy(Disk.data() + address, data, count);
    };
    Cache.StartTransaction();
  }
  void Write(uint32_t address, uint32_t size, uint8_t value, uint32_t tableID = 0) {
    std::vector<uint8_t> data(size, value);
    Cache.WriteBlock(data.data(), tableID, size, address, 0);
  }
  std::vector<uint8_t> Read(uint32_t address, uint32_t size, uint32_t tableID = 0) {
    std::vector<uint8_t> data(size);
    Cache.ReadBlock(data.data(), tableID, size, address, 0);
    return data;
  }

  std::vector<uint8_t> Disk;
  std::vector<uint32_t> Writes;
  TCacheBlockMgr Cache;
};

}  // namespace

TEST_F(BlockCacheTest, HoldsWritesUntilCommitInFirstWriteOrder) {
  Write(3000, 10, 1);
  Write(100, 20, 2);
  Write(3000, 10, 3);
  EXPECT_EQ(Read(3000, 10)[9], 3);
  EXPECT_EQ(Read(500, 4)[0], 0xEE);  // no block: from the disk
  EXPECT_EQ(Disk[3000], 0xEE);
  Cache.Commit();
  EXPECT_EQ(Writes, (std::vector<uint32_t>{3000, 100}));
  EXPECT_EQ(Disk[3009], 3);
  EXPECT_EQ(Disk[119], 2);
  EXPECT_EQ(Cache.Count(), 0);
  EXPECT_FALSE(Cache.InTransaction());
}

TEST_F(BlockCacheTest, RollbackForgetsEverything) {
  Write(0, 16, 1);
  Cache.Rollback();
  EXPECT_TRUE(Writes.empty());
  EXPECT_EQ(Cache.Count(), 0);
  EXPECT_EQ(ErrorCodeOf([&] { Cache.Rollback(); }), 10257);
  EXPECT_EQ(ErrorCodeOf([&] { Cache.Commit(); }), 10257);
}

TEST_F(BlockCacheTest, MismatchedBlocksRaise) {
  struct TCase {
    const char* Name;
    std::function<void()> Op;
    int Code;
  };
  Write(1024, 128, 7);
  const std::vector<TCase> cases = {
      {"read of another size", [&] { Read(1024, 40); }, 8581},
      {"read for another table", [&] { Read(1024, 128, 3); }, 8581},
      {"write of another size", [&] { Write(1024, 40, 1); }, 8581},
      {"write for another table", [&] { Write(1024, 128, 1, 3); }, 8581},
      {"read inside the block", [&] { Read(1100, 4); }, 8579},
      {"write inside the block", [&] { Write(1151, 1, 1); }, 8579},
      {"read at the block's last byte", [&] { Read(1151, 1); }, 8579},
      {"read just after the block", [&] { Read(1152, 4); }, 0},
      {"read just before the block", [&] { Read(1000, 24); }, 0},
  };
  for (const auto& c : cases) {
    std::string message;
    EXPECT_EQ(ErrorCodeOf(c.Op, &message), c.Code) << c.Name;
    if (c.Code == 8581) {
      EXPECT_NE(message.find("CacheBlock invalid"), std::string::npos);
    }
  }
  EXPECT_EQ(Read(1024, 128)[127], 7);  // nothing changed by the refused requests
}

TEST_F(BlockCacheTest, OnlyACoveringBlockWrittenBeforeTheMatchRaises8579) {
  Write(1024, 128, 1);
  Write(1000, 256, 2);               // covers the first one, written after it
  EXPECT_EQ(Read(1024, 128)[0], 2);  // the later write shows through the earlier block
  Write(1024, 128, 3);
  EXPECT_EQ(Read(1000, 256)[24], 3);
  EXPECT_EQ(Read(1000, 256)[23], 2);
  EXPECT_EQ(ErrorCodeOf([&] { Read(1100, 4); }), 8579);
  Cache.Commit();
  EXPECT_EQ(Disk[1024], 3);  // whatever the commit order, the last write wins
  EXPECT_EQ(Disk[1000], 2);
}

TEST_F(BlockCacheTest, CopiesPendingBytesOfOverlappingBlocks) {
  Write(1100, 50, 9);
  std::vector<uint8_t> buf(300, 0xEE);
  Cache.CopyPendingTo(buf.data(), 1000, 300);
  EXPECT_EQ(buf[99], 0xEE);
  EXPECT_EQ(buf[100], 9);
  EXPECT_EQ(buf[149], 9);
  EXPECT_EQ(buf[150], 0xEE);
  EXPECT_TRUE(Cache.Overlaps(1149, 1));
  EXPECT_FALSE(Cache.Overlaps(1150, 100));
  EXPECT_FALSE(Cache.Overlaps(1000, 100));
}
