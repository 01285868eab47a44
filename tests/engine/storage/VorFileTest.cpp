// The file object over real files: opening, routing, transactions, enciphered pages, address
// limits and the order of pending writes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "VorFileTestSupport.h"
#include "engine/storage/CopyDatabaseFile.h"
#include "engine/storage/DBLogger.h"
#include "engine/storage/PageCrypt.h"
#include "engine/storage/VorFile.h"
#include "engine/storage/XorCipher.h"

using vorfile_test::ErrorCodeOf;
using vorfile_test::Pattern;
using vorfile_test::ReadFileBytes;
using vorfile_test::ScratchDir;
using vorfile_test::WriteFileBytes;

namespace {

constexpr uint32_t P = 4096;
const std::string MasterKey = "7Qp#wz4Lk2!rTb";

void SetKeys(TVorFile& file) {
  file.SetXORKeyBuf(BuiltInXorKey.data(), static_cast<int>(BuiltInXorKey.size()));
  file.SetBlowKeyBuf(MasterKey.data(), static_cast<int>(MasterKey.size()));
}

void OpenFile(TVorFile& file, const std::string& path, bool useCache = true, bool writable = true) {
  file.SetReadAccess(true);
  file.SetWriteAccess(writable);
  file.SetUseCache(useCache);
  SetKeys(file);
  file.OpenVorFile(path);
}

// What a cipher with the engine's keys makes of a page.
std::vector<uint8_t> Crypt(bool encipher, const std::vector<uint8_t>& page, uint32_t tableID,
                           uint32_t flags) {
  TPageCrypt crypt;
  crypt.SetXORKeyBuf(BuiltInXorKey.data(), static_cast<int>(BuiltInXorKey.size()), false);
  crypt.SetBlowKeyBuf(MasterKey.data(), static_cast<int>(MasterKey.size()));
  std::vector<uint8_t> out(page.size());
  crypt.CryptBytes(encipher, page.data(), page.size(), tableID, flags, out.data());
  return out;
}

std::vector<uint8_t> Slice(const std::vector<uint8_t>& bytes, size_t from, size_t count) {
  return {bytes.begin() + static_cast<std::ptrdiff_t>(from),
          bytes.begin() + static_cast<std::ptrdiff_t>(from + count)};
}

class VorFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Path = Dir / "db.vor";
    Original = Pattern(8 * P, 1);
    WriteFileBytes(Path, Original);
  }
  std::vector<uint8_t> Disk() const { return ReadFileBytes(Path); }
  std::vector<uint8_t> ReadCached(uint32_t address, uint32_t count, uint32_t flags = 1,
                                  uint32_t tableID = 1) {
    std::vector<uint8_t> out(count);
    File.ReadCached(out.data(), address, flags, tableID, count);
    return out;
  }
  std::vector<uint8_t> ReadRaw(uint32_t address, uint32_t count) {
    std::vector<uint8_t> out(count);
    File.ReadRaw(out.data(), address, count);
    return out;
  }
  // A fresh object's view of a page: nothing cached, nothing pending.
  std::vector<uint8_t> FreshRead(uint32_t address, uint32_t count, uint32_t flags,
                                 uint32_t tableID) {
    TVorFile fresh;
    OpenFile(fresh, Path, false);
    std::vector<uint8_t> out(count);
    fresh.ReadCached(out.data(), address, flags & ~PageFlagCached, tableID, count);
    if (IsCryptFlags(flags)) {
      // Raw reads are plain; decipher the whole page the way the cache does.
      std::vector<uint8_t> page(P);
      fresh.ReadRaw(page.data(), address - address % P, P);
      page = Crypt(false, page, tableID, flags);
      out = Slice(page, address % P, count);
    }
    return out;
  }

  ScratchDir Dir;
  std::string Path;
  std::vector<uint8_t> Original;
  TVorFile File;
};

}  // namespace

// ---- Opening and closing ----

TEST_F(VorFileTest, OpenRefusesWithoutPageSizeOrKey) {
  std::string message;
  File.SetPageSize(0);
  SetKeys(File);
  EXPECT_EQ(ErrorCodeOf([&] { File.OpenVorFile(Path); }, &message), 8581);
  EXPECT_NE(message.find("Database page size not set on opening"), std::string::npos);

  File.SetPageSize(P);
  OpenFile(File, Path);
  EXPECT_TRUE(File.IsOpen());
  EXPECT_GT(File.Handle(), 0);
  EXPECT_EQ(ErrorCodeOf([&] { File.SetXORKeyBuf("k", 1); }), 8581);
  File.Close();
  EXPECT_EQ(File.Handle(), 0);
  EXPECT_EQ(ErrorCodeOf([&] { File.OpenVorFile(Path); }, &message), 8581);
  EXPECT_NE(message.find("Crypt key not set before opening"), std::string::npos);
}

TEST_F(VorFileTest, OpenOfAMissingFileRaises8449) {
  std::string message;
  SetKeys(File);
  EXPECT_EQ(ErrorCodeOf([&] { File.OpenVorFile(Dir / "missing.vor"); }, &message), 8449);
  EXPECT_NE(message.find("Unable to open file. Error type of: "), std::string::npos);
}

TEST_F(VorFileTest, CacheCapacityIsAQuarterOfThePagesWithinBounds) {
  struct TCase {
    uint64_t Pages;
    uint32_t Capacity;
  };
  for (const TCase c : {TCase{10, 50}, TCase{199, 50}, TCase{2000, 500}, TCase{40000, 1000}}) {
    platform::File f;
    ASSERT_TRUE(f.Create(Path, platform::Share::DenyNone));
    ASSERT_TRUE(f.Truncate(c.Pages * P));  // sparse
    f.Close();
    TVorFile file;
    OpenFile(file, Path);
    EXPECT_EQ(file.PageCache().Capacity(), c.Capacity) << c.Pages;
    EXPECT_EQ(file.PageCache().Count(), static_cast<int32_t>(c.Capacity));
  }
}

TEST_F(VorFileTest, CreateTruncatesAndAllowsRawWrites) {
  EXPECT_GT(File.CreateVorFile(Path), 0);
  EXPECT_EQ(File.FileEnd(), 0);
  std::vector<uint8_t> zeros(6 * P, 0);
  File.WriteRaw(zeros.data(), 0, static_cast<uint32_t>(zeros.size()));
  File.Close();
  EXPECT_EQ(Disk(), zeros);
  EXPECT_LT(File.CreateVorFile(Dir / "no-such-dir/x.vor"), 0);
}

// ---- Routing ----

TEST_F(VorFileTest, RoutesByFlagsCacheSettingAndTransaction) {
  enum class Route { Page, Block, Direct };
  struct TCase {
    bool InTransaction;
    bool UseCache;
    uint32_t Flags;
    Route Expected;
  };
  const TCase cases[] = {
      {false, true, 1, Route::Page},   {false, false, 1, Route::Direct},
      {false, false, 3, Route::Page},  {false, false, 5, Route::Page},
      {false, true, 0, Route::Direct}, {false, true, 4, Route::Direct},
      {true, false, 1, Route::Page},   {true, true, 3, Route::Page},
      {true, true, 0, Route::Block},   {true, false, 2, Route::Block},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << "tx " << c.InTransaction << " cache " << c.UseCache << " flags " << c.Flags);
    WriteFileBytes(Path, Original);
    TVorFile file;
    OpenFile(file, Path, c.UseCache);
    if (c.InTransaction) file.StartTransaction();
    const auto data = Pattern(16, 2);
    file.WriteCached(data.data(), 2 * P + 8, c.Flags, 1, 16);
    const bool inPageCache = file.PageCache().FindPage(2 * P) >= 0;
    auto persisted = [&] {
      return c.Expected == Route::Page && IsCryptFlags(c.Flags)
                 ? FreshRead(2 * P + 8, 16, c.Flags, 1) == data
                 : Slice(Disk(), 2 * P + 8, 16) == data;
    };
    const bool onDisk = persisted();
    EXPECT_EQ(inPageCache, c.Expected == Route::Page);
    EXPECT_EQ(file.BlockCache().Count(), c.Expected == Route::Block ? 1 : 0);
    EXPECT_EQ(onDisk, !c.InTransaction);
    std::vector<uint8_t> back(16);
    file.ReadCached(back.data(), 2 * P + 8, c.Flags, 1, 16);
    EXPECT_EQ(back, data);
    if (c.InTransaction) file.Commit();
    EXPECT_TRUE(persisted());
  }
}

TEST_F(VorFileTest, RawTransfersUseTheBlockCacheOnlyInsideATransaction) {
  OpenFile(File, Path);
  const auto data = Pattern(40, 3);
  File.WriteRaw(data.data(), 1024, 40);
  EXPECT_EQ(Slice(Disk(), 1024, 40), data);
  File.StartTransaction();
  const auto later = Pattern(40, 4);
  File.WriteRaw(later.data(), 1024, 40);
  EXPECT_EQ(File.BlockCache().Count(), 1);
  EXPECT_EQ(Slice(Disk(), 1024, 40), data);
  EXPECT_EQ(ReadRaw(1024, 40), later);
  File.Commit();
  EXPECT_EQ(Slice(Disk(), 1024, 40), later);
  EXPECT_EQ(File.BlockCache().Count(), 0);
}

TEST_F(VorFileTest, PageWrittenOutsideATransactionIsOnDiskAtOnce) {
  OpenFile(File, Path);
  const auto page = Pattern(P, 5);
  File.WriteCached(page.data(), 3 * P, 1, 1, P);
  EXPECT_EQ(Slice(Disk(), 3 * P, P), page);
  EXPECT_EQ(File.PageCache().Page(File.PageCache().FindPage(3 * P)).State, TCacheState::Clean);
}

TEST_F(VorFileTest, AnotherTableIdReadsThePageAgain) {
  OpenFile(File, Path);
  ReadCached(P, 10, 1, 1);
  ReadCached(P + 100, 10, 1, 1);
  EXPECT_EQ(File.PageCache().Misses(), 1u);
  EXPECT_EQ(File.PageCache().Hits(), 1u);
  EXPECT_EQ(ReadCached(P, 10, 1, 2), Slice(Original, P, 10));
  EXPECT_EQ(File.PageCache().Misses(), 2u);
}

TEST_F(VorFileTest, EvictionRereadsTheLeastRecentlyUsedPage) {
  // 50 pages of cache over a 60-page file.
  WriteFileBytes(Path, Pattern(60 * P, 6));
  OpenFile(File, Path);
  for (uint32_t page = 0; page < 50; ++page) ReadCached(page * P, 1);
  ReadCached(0, 1);       // page 1 is the least recently used now
  ReadCached(50 * P, 1);  // evicts page 1
  const uint64_t misses = File.PageCache().Misses();
  ReadCached(0, 1);
  ReadCached(2 * P, 1);
  EXPECT_EQ(File.PageCache().Misses(), misses);
  ReadCached(1 * P, 1);
  EXPECT_EQ(File.PageCache().Misses(), misses + 1);
}

TEST_F(VorFileTest, InvalidTableIdIsLoggedOnly) {
  OpenFile(File, Path);
  EXPECT_EQ(ReadCached(0, 4, 1, 3000), Slice(Original, 0, 4));
  const auto lines = EngineLogger().LinesSnapshot();
  ASSERT_FALSE(lines.empty());
  EXPECT_NE(lines.back().find("VorFile"), std::string::npos);
  EXPECT_NE(lines.back().find("Invalid table id"), std::string::npos);
}

// ---- Transactions ----

TEST_F(VorFileTest, TransactionStateErrors) {
  OpenFile(File, Path);
  EXPECT_EQ(ErrorCodeOf([&] { File.Commit(); }), 10257);
  EXPECT_EQ(ErrorCodeOf([&] { File.Rollback(); }), 10257);
  File.StartTransaction();
  EXPECT_EQ(ErrorCodeOf([&] { File.StartTransaction(); }), 10256);
  EXPECT_TRUE(File.InTransaction());
  File.Rollback();
  EXPECT_FALSE(File.InTransaction());
}

namespace {

// Changes made by one transaction: a partial cached page, a raw header, two appended pages.
struct TChanges {
  std::vector<uint8_t> Cached = Pattern(300, 10);
  std::vector<uint8_t> Header = Pattern(128, 11);
  std::vector<uint8_t> AppendedCached = Pattern(P, 12);
  std::vector<uint8_t> AppendedRaw = Pattern(P, 13);

  void Apply(TVorFile& file) {
    file.WriteCached(Cached.data(), P + 1000, 1, 1, 300);
    file.WriteRaw(Header.data(), 1024, 128);
    EXPECT_EQ(file.SeekAndAppendVorFile(AppendedCached.data(), P, 1, 1), 8 * P);
    EXPECT_EQ(file.SeekAndAppendVorFile(AppendedRaw.data(), P, 0, 0), 9 * P);
  }
  std::vector<uint8_t> Expected(std::vector<uint8_t> bytes) const {
    std::copy(Cached.begin(), Cached.end(), bytes.begin() + P + 1000);
    std::copy(Header.begin(), Header.end(), bytes.begin() + 1024);
    bytes.insert(bytes.end(), AppendedCached.begin(), AppendedCached.end());
    bytes.insert(bytes.end(), AppendedRaw.begin(), AppendedRaw.end());
    return bytes;
  }
};

}  // namespace

TEST_F(VorFileTest, CommitWritesExactlyThePendingChanges) {
  OpenFile(File, Path);
  TChanges changes;
  File.StartTransaction();
  EXPECT_EQ(File.FileEnd(), 8 * P);
  changes.Apply(File);
  EXPECT_EQ(File.FileEnd(), 10 * P);
  EXPECT_EQ(Disk(), Original);
  // Reads inside the transaction see the pending changes.
  EXPECT_EQ(ReadCached(P + 1000, 300), changes.Cached);
  EXPECT_EQ(ReadRaw(1024, 128), changes.Header);
  EXPECT_EQ(ReadCached(8 * P, P), changes.AppendedCached);
  EXPECT_EQ(ReadRaw(9 * P, P), changes.AppendedRaw);
  File.Commit();
  EXPECT_FALSE(File.InTransaction());
  EXPECT_EQ(Disk(), changes.Expected(Original));
  EXPECT_EQ(File.FileEnd(), 10 * P);
}

TEST_F(VorFileTest, RollbackLeavesTheFileAsItWas) {
  OpenFile(File, Path);
  ReadCached(P, 8);  // a page cached before the transaction stays valid
  TChanges changes;
  File.StartTransaction();
  changes.Apply(File);
  ReadCached(8 * P, 8);
  File.Rollback();
  EXPECT_EQ(Disk(), Original);
  EXPECT_EQ(File.FileEnd(), 8 * P);
  EXPECT_EQ(ReadCached(P + 1000, 300), Slice(Original, P + 1000, 300));
  EXPECT_EQ(ReadRaw(1024, 128), Slice(Original, 1024, 128));
  EXPECT_EQ(ErrorCodeOf([&] { ReadCached(8 * P, 8); }), 9217);  // never written
}

TEST_F(VorFileTest, RollbackForgetsPagesReadWithPendingRawBytes) {
  OpenFile(File, Path);
  File.StartTransaction();
  const auto raw = Pattern(16, 16);
  File.WriteRaw(raw.data(), 2 * P + 32, 16);
  EXPECT_EQ(ReadCached(2 * P + 32, 16), raw);  // loaded with the pending bytes
  const auto page = Pattern(P, 17);
  File.SeekAndAppendVorFile(page.data(), P, 0, 0);
  EXPECT_EQ(ReadCached(8 * P, P), page);
  File.Rollback();
  EXPECT_EQ(ReadCached(2 * P + 32, 16), Slice(Original, 2 * P + 32, 16));
  EXPECT_EQ(ErrorCodeOf([&] { ReadCached(8 * P, 8); }), 9217);
}

TEST_F(VorFileTest, CloseInsideATransactionDropsItsChanges) {
  OpenFile(File, Path);
  TChanges changes;
  File.StartTransaction();
  changes.Apply(File);
  File.Close();
  EXPECT_FALSE(File.InTransaction());
  EXPECT_EQ(Disk(), Original);
}

TEST_F(VorFileTest, FailedCommitClosesTheTransactionAndForgetsItsChanges) {
  OpenFile(File, Path, true, false);  // read only: every write fails
  File.StartTransaction();
  const auto page = Pattern(P, 14);
  File.WriteCached(page.data(), 2 * P, 1, 1, P);
  File.WriteRaw(page.data(), 100, 50);
  std::string message;
  EXPECT_EQ(ErrorCodeOf([&] { File.Commit(); }, &message), 9218);
  EXPECT_NE(message.find("Unable to complete file write operation"), std::string::npos);
  EXPECT_FALSE(File.InTransaction());
  EXPECT_EQ(File.BlockCache().Count(), 0);
  EXPECT_EQ(ReadCached(2 * P, P), Slice(Original, 2 * P, P));
  EXPECT_EQ(ReadRaw(100, 50), Slice(Original, 100, 50));
  EXPECT_EQ(ErrorCodeOf([&] { File.WriteCached(page.data(), 3 * P, 1, 1, P); }), 9218);
  EXPECT_EQ(ReadCached(3 * P, P), Slice(Original, 3 * P, P));
}

TEST_F(VorFileTest, BlockCacheConflictsInsideATransaction) {
  OpenFile(File, Path);
  File.StartTransaction();
  const auto data = Pattern(128, 15);
  File.WriteRaw(data.data(), 1024, 128);
  std::string message;
  EXPECT_EQ(ErrorCodeOf([&] { ReadRaw(1024, 40); }, &message), 8581);
  EXPECT_NE(message.find("CacheBlock invalid"), std::string::npos);
  EXPECT_EQ(ErrorCodeOf([&] { ReadRaw(1100, 40); }), 8579);
  File.Commit();
  EXPECT_EQ(Slice(Disk(), 1024, 128), data);
}

// ---- Short reads and address limits ----

TEST_F(VorFileTest, ShortReadRaises9217) {
  OpenFile(File, Path);
  std::string message;
  EXPECT_EQ(ErrorCodeOf([&] { ReadRaw(8 * P - 10, 20); }, &message), 9217);
  EXPECT_NE(message.find("Unable to complete file read operation"), std::string::npos);
  EXPECT_EQ(ErrorCodeOf([&] { ReadCached(8 * P, 10); }), 9217);
}

TEST_F(VorFileTest, NothingPassesTheFourGigabyteLimit) {
  constexpr uint64_t Limit = uint64_t{1} << 32;
  {
    platform::File f;
    ASSERT_TRUE(f.Create(Path, platform::Share::DenyNone));
    ASSERT_TRUE(f.Truncate(Limit - 2 * P));
  }
  OpenFile(File, Path);
  std::string message;
  EXPECT_EQ(ErrorCodeOf([&] { ReadRaw(0xFFFFFF00u, 512); }, &message), 8450);
  EXPECT_NE(message.find("Unable to seek for file read operation"), std::string::npos);
  std::vector<uint8_t> page(P, 0x5A);
  EXPECT_EQ(ErrorCodeOf([&] { File.WriteCached(page.data(), 0xFFFFF800u, 1, 1, P); }, &message),
            8450);
  EXPECT_NE(message.find("Unable to seek for file write operation"), std::string::npos);

  File.StartTransaction();
  EXPECT_EQ(File.SeekAndAppendVorFile(page.data(), P, 1, 1), Limit - 2 * P);
  EXPECT_EQ(ErrorCodeOf([&] { File.SeekAndAppendVorFile(page.data(), 2 * P, 1, 1); }), 9600);
  EXPECT_EQ(File.FileEnd(), static_cast<int64_t>(Limit - P));
  File.Rollback();

  EXPECT_EQ(File.SeekAndAppendVorFile(page.data(), P, 0, 0), Limit - 2 * P);
  EXPECT_EQ(File.SeekAndAppendVorFile(page.data(), P, 0, 0), Limit - P);
  EXPECT_EQ(File.FileEnd(), static_cast<int64_t>(Limit));
  EXPECT_EQ(ErrorCodeOf([&] { File.SeekAndAppendVorFile(page.data(), 1, 0, 0); }), 9600);
  EXPECT_EQ(ErrorCodeOf([&] { File.SeekAndAppendVorFile(page.data(), 0, 0, 0); }), 9600);
  EXPECT_EQ(ReadRaw(0xFFFFFFF0u, 16), std::vector<uint8_t>(16, 0x5A));
  File.Close();
  std::filesystem::remove(Path);
}

// ---- Enciphered pages ----

TEST_F(VorFileTest, EncipheredPagesDifferOnDiskAndReadBackRight) {
  struct TCase {
    uint32_t Flags;
    uint32_t TableID;
  };
  for (const TCase c : {TCase{3, 4}, TCase{5, 4}, TCase{7, 9}}) {
    SCOPED_TRACE(c.Flags);
    WriteFileBytes(Path, Original);
    const auto page = Pattern(P, 20 + c.Flags);
    {
      TVorFile file;
      OpenFile(file, Path);
      file.WriteCached(page.data(), 2 * P, c.Flags, c.TableID, P);
      file.StartTransaction();
      file.WriteCached(page.data(), 3 * P, c.Flags, c.TableID, P);
      file.Commit();
    }
    const auto disk = Disk();
    EXPECT_NE(Slice(disk, 2 * P, P), page);
    EXPECT_EQ(Slice(disk, 2 * P, P), Crypt(true, page, c.TableID, c.Flags));
    EXPECT_EQ(Slice(disk, 3 * P, P), Slice(disk, 2 * P, P));
    TVorFile file;
    OpenFile(file, Path);
    std::vector<uint8_t> back(P);
    file.ReadCached(back.data(), 2 * P, c.Flags, c.TableID, P);
    EXPECT_EQ(back, page);
    if (c.Flags == 3) {
      file.ReadCached(back.data(), 3 * P, c.Flags, 1, P);  // stride 1 instead of 5
      EXPECT_NE(back, page);
    }
  }
}

// ---- Order of pending writes ----

namespace {

struct TFlagCase {
  uint32_t Flags;
  uint32_t TableID;
};
constexpr TFlagCase FlagCases[] = {{1, 1}, {3, 4}, {5, 4}};

}  // namespace

// A page released (raw zero page) and allocated again in one transaction keeps its new bytes.
TEST_F(VorFileTest, CachedWriteAfterRawZeroPageWinsAtCommit) {
  for (const TFlagCase c : FlagCases) {
    SCOPED_TRACE(c.Flags);
    WriteFileBytes(Path, Original);
    const auto page = Pattern(P, 30);
    const auto part = Pattern(50, 31);
    const std::vector<uint8_t> zeros(P, 0);
    {
      TVorFile file;
      OpenFile(file, Path);
      file.WriteCached(page.data(), 2 * P, c.Flags, c.TableID, P);  // cached, Clean
      file.StartTransaction();
      file.WriteCached(part.data(), 3 * P + 7, c.Flags, c.TableID, 50);  // Dirty
      file.WriteRawPage(2 * P, zeros.data());
      file.WriteRawPage(3 * P, zeros.data());
      const auto again = Pattern(P, 32);
      file.WriteCached(again.data(), 2 * P, c.Flags, c.TableID, P);        // whole page
      file.WriteCached(part.data(), 3 * P + 100, c.Flags, c.TableID, 50);  // over zeros
      std::vector<uint8_t> seen(P);
      file.ReadCached(seen.data(), 2 * P, c.Flags, c.TableID, P);
      EXPECT_EQ(seen, again);
      file.Commit();
      EXPECT_EQ(Slice(Disk(), 2 * P, P), Crypt(true, again, c.TableID, c.Flags));
    }
    auto expected = Crypt(false, zeros, c.TableID, c.Flags);
    std::copy(part.begin(), part.end(), expected.begin() + 100);
    EXPECT_EQ(Slice(Disk(), 3 * P, P), Crypt(true, expected, c.TableID, c.Flags));
  }
}

// A page written through the cache and then released in the same transaction ends as zeros,
// and the cache does not keep the old bytes.
TEST_F(VorFileTest, RawZeroPageAfterCachedWriteWinsAtCommit) {
  for (const TFlagCase c : FlagCases) {
    SCOPED_TRACE(c.Flags);
    WriteFileBytes(Path, Original);
    TVorFile file;
    OpenFile(file, Path);
    const auto page = Pattern(P, 40);
    const std::vector<uint8_t> zeros(P, 0);
    const auto plainOfZeros = Crypt(false, zeros, c.TableID, c.Flags);
    file.StartTransaction();
    file.WriteCached(page.data(), 2 * P, c.Flags, c.TableID, P);
    file.WriteRawPage(2 * P, zeros.data());
    std::vector<uint8_t> seen(P);
    file.ReadCached(seen.data(), 2 * P, c.Flags, c.TableID, P);
    EXPECT_EQ(seen, plainOfZeros);
    std::vector<uint8_t> raw(P);
    file.ReadRaw(raw.data(), 2 * P, P);
    EXPECT_EQ(raw, zeros);
    file.Commit();
    EXPECT_EQ(Slice(Disk(), 2 * P, P), zeros);
    file.ReadCached(seen.data(), 2 * P, c.Flags, c.TableID, P);
    EXPECT_EQ(seen, plainOfZeros);
  }
}

// ---- Copies ----

TEST_F(VorFileTest, CopyVorFileCopiesTheFileBytes) {
  const std::string target = Dir / "copy.vor";
  EXPECT_EQ(ErrorCodeOf([&] { File.CopyVorFile(target); }), 8449);
  OpenFile(File, Path);
  EXPECT_TRUE(File.CopyVorFile(target));
  EXPECT_EQ(ReadFileBytes(target), Original);
  File.StartTransaction();  // pending pages make FileEnd differ from what is copied
  const auto page = Pattern(P, 50);
  File.SeekAndAppendVorFile(page.data(), P, 1, 1);
  std::string message;
  EXPECT_EQ(ErrorCodeOf([&] { File.CopyVorFile(target); }, &message), 8450);
  EXPECT_NE(message.find("The file could not be copied correctly"), std::string::npos);
}

TEST_F(VorFileTest, CopyDatabaseFileOverwritesOnlyWhenAsked) {
  const std::string target = Dir / "copy.vor";
  WriteFileBytes(target, Pattern(10, 51));
  EXPECT_FALSE(CopyDatabaseFile(Path, target, false));
  EXPECT_EQ(ReadFileBytes(target), Pattern(10, 51));
  EXPECT_TRUE(CopyDatabaseFile(Path, target, true));
  EXPECT_EQ(ReadFileBytes(target), Original);
  EXPECT_FALSE(CopyDatabaseFile(Dir / "missing.vor", Dir / "other.vor", true));
}
