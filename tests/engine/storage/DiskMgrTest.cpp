// The database file: creation, opening and closing, the global header and its lock protocol,
// the master key and security header, and the lock file's name.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "DiskMgrTestSupport.h"
#include "engine/storage/LockFileName.h"
#include "engine/storage/Sha1.h"
#include "engine/storage/WinLockMgr.h"
#include "platform/File.h"

using namespace diskmgr_test;

namespace {

constexpr uint32_t P = 4096;

class DiskMgrTest : public ::testing::Test {
 protected:
  ScratchDir Dir;
  std::string Path = Dir / "ox.vor";
};

TEST(DiskMgrLockFileName, RewritesOnlyTheFileName) {
  const struct {
    const char* database;
    const char* lockFile;
  } cases[] = {
      {"ox.vor", "ox.lck"},
      {"OX.VOR", "OX.lck"},
      {"data.db", "data_db.lck"},
      {"data", "data.lck"},
      {"a.b.c", "a_b.c.lck"},
      {"/tmp/a.b/ox.vor", "/tmp/a.b/ox.lck"},
      {"/tmp/a.b/data.db", "/tmp/a.b/data_db.lck"},
      {"/tmp/a.b/data", "/tmp/a.b/data.lck"},
      {"rel.d/x.y/ox.vor", "rel.d/x.y/ox.lck"},
      // Never the database itself: its last user would delete it.
      {"/tmp/x.vor.lck", "/tmp/x.vor.lck.lck"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(LockFileNameFor(c.database), c.lockFile) << c.database;
  }
}

TEST_F(DiskMgrTest, NewFileBytes) {
  CreateDatabase(Path, P);
  const std::vector<uint8_t> bytes = ReadFileBytes(Path);
  ASSERT_EQ(bytes.size(), 24576u);
  EXPECT_EQ(U32(bytes, 1040), 20480u);  // FirstFreeMapPage
  EXPECT_EQ(U32(bytes, 1044), 20480u);  // FirstMapPage
  EXPECT_EQ(U32(bytes, 1048), 1u);      // MapPageCount
  const size_t map = 5 * P;
  for (size_t i = 0; i < 5; ++i) EXPECT_EQ(U16(bytes, map + 20 + 2 * i), 0x0001) << i;
  EXPECT_EQ(U16(bytes, map + 30), 0x0002);
  // Everything else is zero: map index, next map page and free chain head included.
  for (size_t i = 0; i < bytes.size(); ++i) {
    const bool item = i >= 1040 && i < 1052;
    const bool entry = i >= map + 20 && i < map + 32;
    if (!item && !entry) {
      ASSERT_EQ(bytes[i], 0) << "byte " << i;
    }
  }
}

TEST_F(DiskMgrTest, NewFileWithSmallPages) {
  CreateDatabase(Path, 256);
  std::vector<uint8_t> bytes = ReadFileBytes(Path);
  ASSERT_EQ(bytes.size(), 6u * 256);
  EXPECT_EQ(U32(bytes, 1044), 1280u);
  EXPECT_EQ(U16(bytes, 1280 + 30), 0x0002);
  // With 128-byte pages the global header lies in page 8: the file ends behind it.
  CreateDatabase(Path, 128);
  bytes = ReadFileBytes(Path);
  ASSERT_EQ(bytes.size(), 9u * 128);
  EXPECT_EQ(U32(bytes, 1044), 640u);
  EXPECT_EQ(U16(bytes, 640 + 30), 0x0002);
}

TEST_F(DiskMgrTest, CreateRefusesBadPageSizes) {
  for (const int32_t pageSize : {127, 0, -4096, 200, 4095, 65536}) {
    auto dm = MakeDiskMgr(Path, pageSize);
    const RaisedError error = ErrorOf([&] { dm->CreateNewFile(true); });
    EXPECT_EQ(error.Code, 8581) << pageSize;
    EXPECT_NE(error.Message.find("Invalid database page size"), std::string::npos);
    EXPECT_NE(error.Context.find("TDiskMgr.CreateNewFile"), std::string::npos);
    EXPECT_FALSE(platform::FileExists(Path));
  }
}

TEST_F(DiskMgrTest, CreateKeepsAnExistingFileUnlessOverwriting) {
  const std::vector<uint8_t> original = vorfile_test::Pattern(1000, 7);
  WriteFileBytes(Path, original);
  auto dm = MakeDiskMgr(Path, P);
  const RaisedError error = ErrorOf([&] { dm->CreateNewFile(false); });
  EXPECT_EQ(error.Code, 11043);
  EXPECT_NE(error.Context.find("TDiskMgr.CreateNewFile"), std::string::npos);
  EXPECT_EQ(ReadFileBytes(Path), original);

  dm->CreateNewFile(true);
  EXPECT_EQ(ReadFileBytes(Path).size(), 6u * P);
  EXPECT_FALSE(dm->IsOpen());
}

TEST_F(DiskMgrTest, CreateNeverTruncatesAnOpenDatabase) {
  CreateDatabase(Path, P);
  auto open = OpenDatabase(Path, P);
  const std::vector<uint8_t> before = ReadFileBytes(Path);
  auto other = MakeDiskMgr(Path, P);
  EXPECT_EQ(ErrorOf([&] { other->CreateNewFile(true); }).Code, 8582);
  EXPECT_EQ(ReadFileBytes(Path), before);
}

TEST_F(DiskMgrTest, OpenChecksPageSizeBeforeTheFile) {
  auto dm = MakeDiskMgr(Dir / "missing.vor", 0);
  RaisedError error = ErrorOf([&] { dm->Open(); });
  EXPECT_EQ(error.Code, 8581);
  EXPECT_NE(error.Message.find("PageSize is 0"), std::string::npos);
  EXPECT_NE(error.Context.find("TDiskMgr.Open"), std::string::npos);

  dm->SetPageSize(P);
  error = ErrorOf([&] { dm->Open(); });
  EXPECT_EQ(error.Code, 11010);
  EXPECT_NE(error.Message.find(Dir / "missing.vor"), std::string::npos);
  EXPECT_FALSE(dm->IsOpen());
  EXPECT_FALSE(platform::FileExists(Dir / "missing.vor"));
  EXPECT_FALSE(platform::FileExists(Dir / "missing.lck"));
}

TEST_F(DiskMgrTest, OpenReadsTheHeaderAndMakesTheLockFile) {
  CreateDatabase(Path, P);
  auto dm = OpenDatabase(Path, P);
  ASSERT_TRUE(dm->IsOpen());
  EXPECT_TRUE(dm->MultiUser());
  EXPECT_FALSE(dm->Exclusive());
  EXPECT_FALSE(dm->ReadOnly());
  EXPECT_FALSE(dm->HeaderLocked());
  ASSERT_NE(dm->GlobalHdr(), nullptr);
  EXPECT_TRUE(dm->GlobalHdr()->Loaded);
  EXPECT_FALSE(dm->GlobalHdr()->Dirty);
  EXPECT_EQ(dm->GlobalHdr()->FirstMapPage(), 5 * P);
  EXPECT_EQ(dm->GlobalHdr()->MapPageCount(), 1u);
  EXPECT_EQ(dm->GlobalHdr()->FirstFreeMapPage(), 5 * P);
  EXPECT_TRUE(platform::FileExists(Dir / "ox.lck"));
  ASSERT_NE(dm->TableLockMgr(), nullptr);
  EXPECT_EQ(dm->TableLockMgr()->RegionBase(), 0x800000u);
  EXPECT_EQ(dm->TableLockMgr()->RegionSize(), 8192u);
  EXPECT_EQ(dm->TableLockMgr()->ReadFailMessage(),
            "A read lock could not be obtained on the table");
  EXPECT_EQ(dm->TableLockMgr()->WriteFailMessage(),
            "A write lock could not be obtained on the table");
  ASSERT_NE(dm->RecordLockMgr(), nullptr);
  EXPECT_EQ(dm->RecordLockMgr()->RegionBase(), 0x2000000u);
  EXPECT_EQ(dm->RecordLockMgr()->RegionSize(), 1u);
  EXPECT_EQ(dm->RecordLockMgr()->WriteFailMessage(), "A lock could not be obtained on the record");
  EXPECT_EQ(dm->TableLockMgr()->RetryMaximum(), 2);
  EXPECT_EQ(dm->File().LockRetryMaximum(), 2);
  EXPECT_TRUE(dm->File().UseCache());

  dm->Close();
  EXPECT_FALSE(dm->IsOpen());
  EXPECT_EQ(dm->GlobalHdr(), nullptr);
  EXPECT_EQ(dm->MapPageMgr(), nullptr);
  EXPECT_EQ(dm->TableLockMgr(), nullptr);
  EXPECT_EQ(dm->UserMonitor(), nullptr);
  EXPECT_FALSE(platform::FileExists(Dir / "ox.lck"));
}

TEST_F(DiskMgrTest, LockFileLiesBesideTheDatabase) {
  const struct {
    const char* directory;
    const char* database;
    const char* lockFile;
  } cases[] = {
      {"a.b", "ox.vor", "ox.lck"},
      {"a.b", "data.db", "data_db.lck"},
  };
  for (const auto& c : cases) {
    std::filesystem::create_directories(Dir / c.directory);
    const std::string path = Dir / (std::string(c.directory) + "/" + c.database);
    CreateDatabase(path, P);
    auto dm = OpenDatabase(path, P);
    EXPECT_TRUE(platform::FileExists(Dir / (std::string(c.directory) + "/" + c.lockFile)));
    EXPECT_FALSE(platform::FileExists(Dir / "a_b"));
    dm->Close();
    EXPECT_FALSE(platform::FileExists(Dir / (std::string(c.directory) + "/" + c.lockFile)));
  }
}

TEST_F(DiskMgrTest, ExclusiveOpenShutsOthersOut) {
  CreateDatabase(Path, P);
  auto first = OpenDatabase(Path, P, fmOpenReadWrite | fmShareExclusive);
  EXPECT_TRUE(first->Exclusive());
  auto second = MakeDiskMgr(Path, P);
  const RaisedError error = ErrorOf([&] { second->Open(); });
  EXPECT_EQ(error.Code, 8449);
  EXPECT_NE(error.Message.find("Error type of: "), std::string::npos);
  EXPECT_NE(error.Context.find("TDiskMgr.Open"), std::string::npos);
  EXPECT_FALSE(second->IsOpen());
  first->Close();
  second->Open();
  EXPECT_TRUE(second->IsOpen());
}

TEST_F(DiskMgrTest, FailedOpenLeavesNothingOpen) {
  CreateDatabase(Path, P);
  // A lock file beyond its largest size makes the user monitor refuse.
  WriteFileBytes(Dir / "ox.lck", std::vector<uint8_t>(0x400000, 0));
  auto dm = MakeDiskMgr(Path, P);
  EXPECT_EQ(ErrorOf([&] { dm->Open(); }).Code, 9486);
  EXPECT_FALSE(dm->IsOpen());
  EXPECT_EQ(dm->UserMonitor(), nullptr);
  EXPECT_EQ(dm->GlobalHdr(), nullptr);
  // The database file is not held: an exclusive open elsewhere succeeds.
  platform::File file;
  EXPECT_TRUE(file.Open(Path, platform::Access::ReadWrite, platform::Share::Exclusive));
}

TEST_F(DiskMgrTest, CloseFinishesEvenWhenTheHeaderCannotBeWritten) {
  CreateDatabase(Path, P);
  // Opened for reading on a writable file: multi-user, but every write fails.
  auto dm = OpenDatabase(Path, P, fmOpenRead | fmShareDenyNone);
  ASSERT_TRUE(dm->MultiUser());
  EXPECT_TRUE(dm->ReadOnly());
  dm->LockTable(4, lkRead);
  dm->GlobalHdr()->SetIndexFirstEmpty(12345);
  const RaisedError error = ErrorOf([&] { dm->Close(); });
  EXPECT_EQ(error.Code, 9218);
  EXPECT_FALSE(dm->IsOpen());
  EXPECT_EQ(dm->TableLockMgr(), nullptr);
  EXPECT_EQ(dm->RecordLockMgr(), nullptr);
  EXPECT_EQ(dm->UserMonitor(), nullptr);
  EXPECT_FALSE(dm->HeaderLocked());
  EXPECT_FALSE(platform::FileExists(Dir / "ox.lck"));
  // Nothing is held any more: another connection writes table 4 and the header.
  auto other = OpenDatabase(Path, P);
  EXPECT_EQ(other->LockTable(4, lkWrite), lkWrite);
  other->WriteLockHeader();
  other->UnlockHeader();
  EXPECT_EQ(U32(ReadFileBytes(Path), 1024 + 36), 0u);
}

TEST_F(DiskMgrTest, ReadHeaderNeedsAHeaderLock) {
  CreateDatabase(Path, P);
  auto dm = OpenDatabase(Path, P);
  const RaisedError error = ErrorOf([&] { dm->ReadHeader(); });
  EXPECT_EQ(error.Code, 10248);
  EXPECT_NE(error.Context.find("TDiskMgr.ReadHeader"), std::string::npos);
  dm->ReadLockHeader();
  EXPECT_TRUE(dm->HeaderLocked());
  EXPECT_FALSE(dm->HeaderWriteLocked());
  dm->ReadHeader();
  dm->UnlockHeader();
  EXPECT_FALSE(dm->HeaderLocked());
}

TEST(GlobalHdrTest, ItemsAndDirty) {
  TGlobalHdr header;
  EXPECT_EQ(header.Size, 128u);
  EXPECT_EQ(header.FileOffset, 1024u);
  header.Initialize();
  ASSERT_EQ(header.Buffer.size(), 128u);
  EXPECT_FALSE(header.Dirty);

  const struct {
    uint32_t offset;
    void (TGlobalHdr::*set)(uint32_t);
    uint32_t (TGlobalHdr::*get)() const;
  } items[] = {
      {0x10, &TGlobalHdr::SetFirstFreeMapPage, &TGlobalHdr::FirstFreeMapPage},
      {0x14, &TGlobalHdr::SetFirstMapPage, &TGlobalHdr::FirstMapPage},
      {0x18, &TGlobalHdr::SetMapPageCount, &TGlobalHdr::MapPageCount},
      {0x1C, &TGlobalHdr::SetUserHeaderFirstEmpty, &TGlobalHdr::UserHeaderFirstEmpty},
      {0x20, &TGlobalHdr::SetSystemHeaderFirstEmpty, &TGlobalHdr::SystemHeaderFirstEmpty},
      {0x24, &TGlobalHdr::SetIndexFirstEmpty, &TGlobalHdr::IndexFirstEmpty},
  };
  uint32_t value = 0x01020304;
  for (const auto& item : items) {
    header.Dirty = false;
    (header.*item.set)(0);  // unchanged: stays clean
    EXPECT_FALSE(header.Dirty);
    (header.*item.set)(value);
    EXPECT_TRUE(header.Dirty);
    EXPECT_EQ((header.*item.get)(), value);
    EXPECT_EQ(header.GlobalInterfaceGetHdrItem(item.offset), value);
    EXPECT_EQ(U32(header.Buffer, item.offset), value);
    value += 0x11111111;
  }
  header.Dirty = false;
  header.SetHdrItem(100, 9);
  EXPECT_TRUE(header.Dirty);
  EXPECT_EQ(header.GlobalInterfaceGetHdrItem(100), 9u);
  EXPECT_EQ(header.GlobalInterfaceGetHdrItem(124), 0u);

  // Offset 0, and items that would not fit in the 128 bytes.
  for (const uint32_t offset : {0u, 125u, 127u, 128u, 4096u}) {
    RaisedError error = ErrorOf([&] { header.GlobalInterfaceGetHdrItem(offset); });
    EXPECT_EQ(error.Code, 8581) << offset;
    EXPECT_NE(error.Message.find("DB Header. Item offset is out of range"), std::string::npos);
    EXPECT_NE(error.Context.find("TGlobalHdr.GlobalInterfaceGetHdrItem"), std::string::npos);
    EXPECT_EQ(ErrorOf([&] { header.SetHdrItem(offset, 1); }).Code, 8581) << offset;
  }

  TGlobalHdr empty;
  empty.Size = 0;
  const RaisedError error = ErrorOf([&] { empty.Initialize(); });
  EXPECT_EQ(error.Code, 8581);
  EXPECT_NE(error.Message.find("Unable to initialize header - size not set"), std::string::npos);
  EXPECT_NE(error.Context.find("TGlobalHdr.Initialize"), std::string::npos);
}

TEST_F(DiskMgrTest, HeaderIsWrittenWhenDirtyAndReReadFromUnlocked) {
  CreateDatabase(Path, P);
  auto a = OpenDatabase(Path, P);
  auto b = OpenDatabase(Path, P);

  a->WriteLockHeader();
  EXPECT_TRUE(a->HeaderWriteLocked());
  a->GlobalHdr()->SetUserHeaderFirstEmpty(0x5000);
  a->GlobalHdr()->SetIndexFirstEmpty(0x6000);
  // While a holds the header, b can take no header lock at all.
  EXPECT_EQ(ErrorOf([&] { b->ReadLockHeader(); }).Code, 10249);
  EXPECT_FALSE(b->HeaderLocked());
  a->UnlockHeader();
  EXPECT_FALSE(a->GlobalHdr()->Dirty);
  const std::vector<uint8_t> bytes = ReadFileBytes(Path);
  EXPECT_EQ(U32(bytes, 1024 + 0x1C), 0x5000u);
  EXPECT_EQ(U32(bytes, 1024 + 0x24), 0x6000u);

  // b sees the change when it takes a header lock from the unlocked state.
  EXPECT_EQ(b->GlobalHdr()->IndexFirstEmpty(), 0u);
  b->ReadLockHeader();
  EXPECT_EQ(b->GlobalHdr()->IndexFirstEmpty(), 0x6000u);
  // A write lock from a held read lock does not read again.
  b->GlobalHdr()->Buffer[0x40] = 0x77;
  b->WriteLockHeader();
  EXPECT_EQ(b->GlobalHdr()->Buffer[0x40], 0x77);
  b->GlobalHdr()->SetSystemHeaderFirstEmpty(0x7000);
  b->UnlockHeader();
  EXPECT_EQ(U32(ReadFileBytes(Path), 1024 + 0x20), 0x7000u);

  // WriteHeader takes the write lock when it is not held, and keeps it.
  a->GlobalHdr()->SetIndexFirstEmpty(1);
  a->WriteHeader();
  EXPECT_TRUE(a->HeaderWriteLocked());
  EXPECT_EQ(a->GlobalHdr()->SystemHeaderFirstEmpty(), 0x7000u);
  a->UnlockHeader();
}

TEST_F(DiskMgrTest, DirtyHeaderIsWrittenAtClose) {
  CreateDatabase(Path, P);
  auto dm = OpenDatabase(Path, P);
  dm->WriteLockHeader();
  dm->GlobalHdr()->SetIndexFirstEmpty(0x1234);
  dm->Close();
  EXPECT_EQ(U32(ReadFileBytes(Path), 1024 + 0x24), 0x1234u);
}

TEST_F(DiskMgrTest, SecurityHeaderRoundTrip) {
  CreateDatabase(Path, P);
  auto dm = OpenDatabase(Path, P);
  dm->SetMasterKey("abc");
  EXPECT_EQ(dm->MasterKey(), "abc");
  TSecurityHeader written{};
  const TDateTime before = Now();
  dm->WriteSecurityHeader(written);
  const std::vector<uint8_t> bytes = ReadFileBytes(Path);
  ASSERT_TRUE(std::equal(written.begin(), written.end(), bytes.begin() + 768));
  const std::vector<uint8_t> rec(written.begin(), written.end());
  EXPECT_EQ(U32(rec, 0), 40u);
  const double writtenAt = le::GetDouble(rec.data() + 4);
  EXPECT_GE(writtenAt, before - 1.0 / 86400);
  EXPECT_LE(writtenAt, Now() + 1.0 / 86400);
  EXPECT_EQ(U16(rec, 12), 1);
  EXPECT_EQ(U16(rec, 14), 1);
  // SHA-1("abc") = a9993e36 4706816a ba3e2571 7850c26c 9cd0d89d, each word little-endian.
  const uint32_t words[] = {0xa9993e36, 0x4706816a, 0xba3e2571, 0x7850c26c, 0x9cd0d89d};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(U32(rec, 16 + 4 * i), words[i]) << i;
  EXPECT_EQ(rec[16], 0x36);

  TSecurityHeader read{};
  dm->ReadSecurityHeader(read);
  EXPECT_EQ(read, written);
}

TEST_F(DiskMgrTest, SecurityHeaderRefusesDamageAndWrongKeys) {
  CreateDatabase(Path, P);
  {
    auto dm = OpenDatabase(Path, P);
    dm->SetMasterKey("secret");
    TSecurityHeader rec{};
    dm->WriteSecurityHeader(rec);
  }
  const std::vector<uint8_t> good = ReadFileBytes(Path);
  for (const size_t flipped : {0u, 5u, 12u, 15u, 16u, 30u, 35u, 36u, 39u}) {
    std::vector<uint8_t> damaged = good;
    damaged[768 + flipped] ^= 0x10;
    WriteFileBytes(Path, damaged);
    auto dm = OpenDatabase(Path, P);
    dm->SetMasterKey("secret");
    TSecurityHeader rec{};
    const RaisedError error = ErrorOf([&] { dm->ReadSecurityHeader(rec); });
    EXPECT_EQ(error.Code, 8451) << flipped;
    EXPECT_NE(error.Message.find("The Security Header CRC is incorrect"), std::string::npos);
    EXPECT_NE(error.Context.find("TDiskMgr.ReadSecurityHeader"), std::string::npos);
    // The record is handed back as read, CRC field included.
    EXPECT_TRUE(std::equal(rec.begin(), rec.end(), damaged.begin() + 768));
  }
  WriteFileBytes(Path, good);
  auto dm = OpenDatabase(Path, P);
  TSecurityHeader rec{};
  for (const char* key : {"Secret", "secret ", "", "other"}) {
    dm->SetMasterKey(key);
    const RaisedError error = ErrorOf([&] { dm->ReadSecurityHeader(rec); });
    EXPECT_EQ(error.Code, 8451) << key;
    EXPECT_NE(error.Message.find("The MasterKey is incorrect"), std::string::npos);
  }
  dm->SetMasterKey("secret");
  dm->ReadSecurityHeader(rec);
}

TEST_F(DiskMgrTest, EmptyMasterKeyUsesTheDefaultKey) {
  CreateDatabase(Path, P);
  auto dm = OpenDatabase(Path, P);
  dm->SetMasterKey("");
  EXPECT_EQ(dm->MasterKey(), "7Qp#wz4Lk2!rTb");
  TSecurityHeader rec{};
  dm->WriteSecurityHeader(rec);
  TSha1Digest digest;
  Sha1Digest("7Qp#wz4Lk2!rTb", digest);
  EXPECT_TRUE(std::equal(digest.begin(), digest.end(), rec.begin() + 16));
  EXPECT_FALSE(std::all_of(rec.begin() + 16, rec.begin() + 36, [](uint8_t b) { return b == 0; }));
  dm->SetMasterKey("7Qp#wz4Lk2!rTb");
  dm->ReadSecurityHeader(rec);
}

TEST_F(DiskMgrTest, MasterKeyEnciphersTablePages) {
  CreateDatabase(Path, P);
  auto dm = OpenDatabase(Path, P);
  dm->SetMasterKey("page key");
  const std::vector<uint8_t> page = vorfile_test::Pattern(P, 3);
  const uint32_t address = dm->AllocatePages(9, 5, page.data(), 1, dbfile::UsageRecords);
  const std::vector<uint8_t> bytes = ReadFileBytes(Path);
  EXPECT_FALSE(std::equal(page.begin(), page.end(), bytes.begin() + address));
  dm->Close();
  dm->Open();
  dm->SetMasterKey("page key");
  std::vector<uint8_t> back(P);
  dm->ReadPages(address, 1, back.data(), 5, 9);
  EXPECT_EQ(back, page);
}

}  // namespace
