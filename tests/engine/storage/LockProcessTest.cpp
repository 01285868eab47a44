// Locks and slots between real processes: a forked child opens its own connection and
// reports by exit code.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

#include "LockTestSupport.h"
#include "engine/storage/DBUserMonitor.h"

namespace {

using namespace locktest;
using lockfile::SlotLockBase;
using lockfile::SlotSize;

class LockProcessTest : public ::testing::Test {
 protected:
  LockProcessTest() {
    platform::File db;
    db.Create(DatabaseFile(), platform::Share::DenyNone);
  }
  std::string DatabaseFile() const { return FDir / "ox.vor"; }
  std::string LockFile() const { return FDir / "ox.lck"; }
  ScratchDir FDir;
};

TEST_F(LockProcessTest, TableAndRecordLocksExcludeAnotherProcess) {
  LockConnection parent(LockFile());
  ASSERT_TRUE(parent.Tables.SetReadLock(5, 1));
  ASSERT_EQ(parent.Records.SetWriteLock(4096, 0), lkWrite);

  EXPECT_EQ(RunInChild([&] {
              LockConnection child(LockFile());
              return ChildExpectsError([&] { child.Tables.SetWriteLock(5, 0); }, 10249);
            }),
            0);
  EXPECT_EQ(RunInChild([&] {
              LockConnection child(LockFile());
              return ChildExpectsError([&] { child.Records.SetWriteLock(4096, 0); }, 10249);
            }),
            0);
  // Readers share across processes too.
  EXPECT_EQ(RunInChild([&] {
              LockConnection child(LockFile());
              return child.Tables.SetReadLock(5, 1) ? 0 : 1;
            }),
            0);

  parent.Tables.ReleaseAll();
  parent.Records.ReleaseAll();
  EXPECT_EQ(RunInChild([&] {
              LockConnection child(LockFile());
              bool ok = child.Tables.SetWriteLock(5, 0) == lkWrite &&
                        child.Records.SetWriteLock(4096, 0) == lkWrite;
              return ok ? 0 : 1;
            }),
            0);
}

TEST_F(LockProcessTest, ADeadProcessHoldsNoLocks) {
  // The child takes a write lock and ends without giving it back.
  ASSERT_EQ(RunInChild([&] {
              LockConnection child(LockFile());
              child.Tables.SetWriteLock(3, 0);
              _exit(0);
              return 1;
            }),
            0);
  LockConnection parent(LockFile());
  EXPECT_EQ(parent.Tables.SetWriteLock(3, 0), lkWrite);
}

TEST_F(LockProcessTest, ProcessesOfOneUserShareASlot) {
  platform::File db = OpenShared(DatabaseFile());
  TDBUserMonitor monitor(&db, LockFile());
  monitor.Open("alice", "PC1");
  ASSERT_EQ(monitor.SlotLockOffset(), SlotLockBase + 4096);

  // The child's connection holds the next byte of the same slot.
  EXPECT_EQ(RunInChild([&] {
              platform::File childDb = OpenShared(DatabaseFile());
              TDBUserMonitor child(&childDb, LockFile());
              child.Open("alice", "PC1");
              return child.SlotLockOffset() == SlotLockBase + 4096 + 1 ? 0 : 1;
            }),
            0);
}

TEST_F(LockProcessTest, ASlotOfADeadProcessIsZeroedByTheNextClose) {
  platform::File db = OpenShared(DatabaseFile());
  TDBUserMonitor alice(&db, LockFile());
  alice.Open("alice", "PC1");

  // bob connects in another process that ends without closing.
  ASSERT_EQ(RunInChild([&] {
              platform::File childDb = OpenShared(DatabaseFile());
              TDBUserMonitor bob(&childDb, LockFile());
              bob.Open("bob", "PC2");
              _exit(bob.SlotLockOffset() == SlotLockBase + 8192 ? 0 : 1);
              return 1;
            }),
            0);
  auto slotText = [&](uint64_t slot) {
    platform::File f = OpenShared(LockFile());
    char text[SlotSize + 1] = {};
    f.ReadExact(slot, text, SlotSize);
    return std::string(text);
  };
  EXPECT_EQ(slotText(8192), "PC2\r\nbob\r\n");

  // Anybody's next Close frees it; alice's slot stays.
  {
    platform::File carolDb = OpenShared(DatabaseFile());
    TDBUserMonitor carol(&carolDb, LockFile());
    carol.Open("carol", "PC1");
    EXPECT_EQ(carol.SlotLockOffset(), SlotLockBase + 3 * 4096);
    carol.Close();
  }
  EXPECT_EQ(slotText(8192), "");
  EXPECT_EQ(slotText(4096), "PC1\r\nalice\r\n");
  alice.Close();
  EXPECT_FALSE(platform::FileExists(LockFile()));
}

}  // namespace
