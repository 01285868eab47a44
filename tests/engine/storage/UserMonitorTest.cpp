// The user monitor's slots in the lock file, its creation and deletion, and the race of a
// last connection deleting the lock file under an opener.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "LockTestSupport.h"
#include "engine/storage/DBUserMonitor.h"

namespace {

using namespace locktest;
using lockfile::SlotLockBase;
using lockfile::SlotSize;

std::vector<uint8_t> ReadAll(const std::string& path) {
  platform::File f;
  if (!f.Open(path, platform::Access::Read, platform::Share::DenyNone)) return {};
  std::vector<uint8_t> bytes(static_cast<size_t>(f.Size()));
  if (!bytes.empty()) f.ReadExact(0, bytes.data(), bytes.size());
  return bytes;
}

// The slot's text up to its first zero byte; "" for a free or missing slot.
std::string SlotText(const std::string& lockFile, uint64_t slot) {
  std::vector<uint8_t> bytes = ReadAll(lockFile);
  if (bytes.size() < slot + SlotSize) return "";
  const char* text = reinterpret_cast<const char*>(bytes.data() + slot);
  return std::string(text, strnlen(text, SlotSize));
}

bool SlotAllZero(const std::string& lockFile, uint64_t slot) {
  std::vector<uint8_t> bytes = ReadAll(lockFile);
  if (bytes.size() < slot + SlotSize) return false;
  for (uint64_t i = slot; i < slot + SlotSize; ++i)
    if (bytes[i] != 0) return false;
  return true;
}

class UserMonitorTest : public ::testing::Test {
 protected:
  UserMonitorTest() {
    platform::File db;
    db.Create(DatabaseFile(), platform::Share::DenyNone);
  }
  std::string DatabaseFile() const { return FDir / "ox.vor"; }
  std::string LockFile() const { return FDir / "ox.lck"; }

  // A connection's monitor with a database handle of its own for the parent lock.
  struct Connection {
    explicit Connection(const UserMonitorTest& t, bool withDatabase = true)
        : Database(withDatabase ? OpenShared(t.DatabaseFile()) : platform::File()),
          Monitor(withDatabase ? &Database : nullptr, t.LockFile()) {}
    platform::File Database;
    TDBUserMonitor Monitor;
  };
  std::unique_ptr<Connection> Connect(const std::string& user, bool withDatabase = true) {
    auto c = std::make_unique<Connection>(*this, withDatabase);
    c->Monitor.Open(user, "PC1");
    return c;
  }

  ScratchDir FDir;
};

TEST_F(UserMonitorTest, ConnectionsOfOneUserShareASlot) {
  auto a = Connect("alice");
  auto b = Connect("alice");
  auto c = Connect("ALICE");  // slots compare without regard to case
  EXPECT_EQ(a->Monitor.UserString(), "PC1\r\nalice\r\n");
  EXPECT_EQ(a->Monitor.SlotLockOffset(), SlotLockBase + 4096 + 0);
  EXPECT_EQ(b->Monitor.SlotLockOffset(), SlotLockBase + 4096 + 1);
  EXPECT_EQ(c->Monitor.SlotLockOffset(), SlotLockBase + 4096 + 2);
  EXPECT_EQ(ReadAll(LockFile()).size(), 8192u);
  EXPECT_TRUE(SlotAllZero(LockFile(), 0));
  EXPECT_EQ(SlotText(LockFile(), 4096), "PC1\r\nalice\r\n");

  a->Monitor.Close();
  b->Monitor.Close();
  EXPECT_FALSE(a->Monitor.IsOpen());
  EXPECT_EQ(a->Monitor.SlotLockOffset(), 0u);
  EXPECT_EQ(SlotText(LockFile(), 4096), "PC1\r\nalice\r\n");
  c->Monitor.Close();
  EXPECT_FALSE(platform::FileExists(LockFile()));
}

TEST_F(UserMonitorTest, UsersGetTheirOwnSlotsAndFreedSlotsAreReused) {
  auto alice = Connect("alice");
  auto bob = Connect("bob");
  EXPECT_EQ(bob->Monitor.SlotLockOffset(), SlotLockBase + 8192);
  EXPECT_EQ(SlotText(LockFile(), 8192), "PC1\r\nbob\r\n");

  alice->Monitor.Close();  // bob stays: the slot is zeroed, the file kept
  EXPECT_TRUE(SlotAllZero(LockFile(), 4096));
  EXPECT_EQ(SlotText(LockFile(), 8192), "PC1\r\nbob\r\n");

  auto carol = Connect("carol");
  EXPECT_EQ(carol->Monitor.SlotLockOffset(), SlotLockBase + 4096);
  EXPECT_EQ(SlotText(LockFile(), 4096), "PC1\r\ncarol\r\n");
  EXPECT_EQ(ReadAll(LockFile()).size(), 3 * 4096u);
  bob->Monitor.Close();
  carol->Monitor.Close();
  EXPECT_FALSE(platform::FileExists(LockFile()));
}

TEST_F(UserMonitorTest, WorksWithoutADatabaseHandle) {
  auto a = Connect("alice", false);
  auto b = Connect("alice", false);
  EXPECT_EQ(b->Monitor.SlotLockOffset(), SlotLockBase + 4096 + 1);
  a.reset();  // the destructor closes
  EXPECT_TRUE(platform::FileExists(LockFile()));
  b.reset();
  EXPECT_FALSE(platform::FileExists(LockFile()));
}

TEST_F(UserMonitorTest, OpenAgainClosesFirst) {
  auto a = Connect("alice");
  a->Monitor.Open("alice", "PC1");
  EXPECT_EQ(a->Monitor.SlotLockOffset(), SlotLockBase + 4096);
  a->Monitor.Close();
  a->Monitor.Close();  // nothing to do
  EXPECT_FALSE(platform::FileExists(LockFile()));
}

TEST_F(UserMonitorTest, ASlotNobodyHoldsIsZeroedByTheNextClose) {
  auto alice = Connect("alice");
  // A user who left without closing: slot text, no locked byte.
  {
    platform::File f = OpenShared(LockFile());
    std::vector<uint8_t> slot(SlotSize, 0);
    std::memcpy(slot.data(), "PC9\r\nghost\r\n", 12);
    ASSERT_TRUE(f.WriteExact(8192, slot.data(), slot.size()));
  }
  auto bob = Connect("bob");
  EXPECT_EQ(bob->Monitor.SlotLockOffset(), SlotLockBase + 3 * 4096);
  bob->Monitor.Close();
  EXPECT_TRUE(SlotAllZero(LockFile(), 8192));
  EXPECT_TRUE(SlotAllZero(LockFile(), 3 * 4096));
  EXPECT_EQ(SlotText(LockFile(), 4096), "PC1\r\nalice\r\n");
}

struct SizeCase {
  const char* Name;
  uint64_t Size;
  bool FillSlots;  // every slot taken by a user who left (text, no lock)
  bool Opens;
};

class LockFileSizeTest : public UserMonitorTest, public ::testing::WithParamInterface<SizeCase> {};

TEST_P(LockFileSizeTest, ALockFileNeverGrowsIntoTheTableRegions) {
  const SizeCase& tc = GetParam();
  {
    platform::File f;
    ASSERT_TRUE(f.Create(LockFile(), platform::Share::DenyNone));
    ASSERT_TRUE(f.Truncate(tc.Size));
    if (tc.FillSlots) {
      std::vector<uint8_t> slot(SlotSize, 0);
      std::memcpy(slot.data(), "PC9\r\nghost\r\n", 12);
      for (uint64_t offset = 4096; offset + SlotSize <= tc.Size; offset += SlotSize)
        ASSERT_TRUE(f.WriteExact(offset, slot.data(), slot.size()));
    }
  }
  Connection c(*this);
  if (!tc.Opens) {
    ExpectVorError([&] { c.Monitor.Open("alice", "PC1"); }, 9486,
                   "The lock file has grown too large", "TDBUserMonitor.Open");
    EXPECT_FALSE(c.Monitor.IsOpen());
    EXPECT_TRUE(platform::FileExists(LockFile()));
    return;
  }
  c.Monitor.Open("alice", "PC1");
  EXPECT_GT(c.Monitor.SlotLockOffset(), 0u);
  EXPECT_LT(c.Monitor.SlotLockOffset(), lockfile::TableRegionBase);
}

INSTANTIATE_TEST_SUITE_P(Sizes, LockFileSizeTest,
                         ::testing::Values(SizeCase{"TooLarge", 0x400000, false, false},
                                           SizeCase{"LargestWithFreeSlot", 0x3FFFFF, false, true},
                                           SizeCase{"FullLastSlotFits", 0x3FF000, true, true},
                                           SizeCase{"FullUnalignedNoRoom", 0x3FF001, true, false},
                                           SizeCase{"Empty", 0, false, true}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(UserMonitorTest, LockManagersWorkOverTheMonitorsHandle) {
  auto a = Connect("alice");
  auto b = Connect("alice");
  TWinLockMgr tablesA(a->Monitor.LockFile(), lockfile::TableRegionSize, lockfile::TableRegionBase);
  TWinLockMgr tablesB(b->Monitor.LockFile(), lockfile::TableRegionSize, lockfile::TableRegionBase);
  FastRetries(tablesB);
  tablesB.SetWriteFailMessage(lockfile::TableWriteFailMessage);
  ASSERT_TRUE(tablesA.SetReadLock(0, 1));
  ExpectVorError([&] { tablesB.SetWriteLock(0, 0); }, 10249,
                 "A write lock could not be obtained on the table");
}

// The last connection deletes the lock file while another is between opening it and taking
// the monitor lock: the opener must end on the file that is on disk, shared with everyone
// who comes later.
TEST_F(UserMonitorTest, AnOpenerOfADeletedLockFileStartsOver) {
  auto first = Connect("alice");
  platform::FileId original;
  ASSERT_TRUE(platform::FileIdentity(LockFile(), original));

  Connection second(*this);
  int hookCalls = 0;
  second.Monitor.SetBeforeMonitorLockHook([&] {
    if (hookCalls++ == 0) first->Monitor.Close();  // the last one leaves: file deleted
  });
  second.Monitor.Open("bob", "PC1");
  EXPECT_EQ(hookCalls, 2);

  platform::FileId onDisk;
  ASSERT_TRUE(platform::FileIdentity(LockFile(), onDisk));
  EXPECT_EQ(second.Monitor.LockFile()->Identity(), onDisk);
  EXPECT_EQ(SlotText(LockFile(), 4096), "PC1\r\nbob\r\n");

  auto third = Connect("carol");
  EXPECT_EQ(third->Monitor.LockFile()->Identity(), onDisk);
  TWinLockMgr tables2(second.Monitor.LockFile(), lockfile::TableRegionSize,
                      lockfile::TableRegionBase);
  TWinLockMgr tables3(third->Monitor.LockFile(), lockfile::TableRegionSize,
                      lockfile::TableRegionBase);
  FastRetries(tables2);
  FastRetries(tables3);
  ASSERT_EQ(tables2.SetWriteLock(1, 0), lkWrite);
  ExpectVorError([&] { tables3.SetReadLock(1, 1); }, 10249, "");
  tables2.ReleaseAll();
  EXPECT_TRUE(tables3.SetReadLock(1, 1));
  ExpectVorError([&] { tables2.SetWriteLock(1, 0); }, 10249, "");
}

// A connection whose lock file was deleted and replaced must not delete the replacement,
// nor count its users.
TEST_F(UserMonitorTest, AClosingConnectionNeverDeletesAnotherLockFile) {
  auto stale = Connect("alice");
  ASSERT_TRUE(platform::DeleteFile(LockFile()));
  auto current = Connect("bob");
  platform::FileId onDisk;
  ASSERT_TRUE(platform::FileIdentity(LockFile(), onDisk));
  EXPECT_EQ(current->Monitor.SlotLockOffset(), SlotLockBase + 4096);

  stale->Monitor.Close();
  EXPECT_FALSE(stale->Monitor.IsOpen());
  platform::FileId after;
  ASSERT_TRUE(platform::FileIdentity(LockFile(), after));
  EXPECT_EQ(after, onDisk);
  EXPECT_EQ(SlotText(LockFile(), 4096), "PC1\r\nbob\r\n");

  current->Monitor.Close();
  EXPECT_FALSE(platform::FileExists(LockFile()));
}

}  // namespace
