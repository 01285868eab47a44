// Table and record locks between connections of one process, each with its own handle.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>

#include "LockTestSupport.h"

namespace {

using namespace locktest;
using lockfile::TableRegionSize;
using ::testing::HasSubstr;

class LockMgrTest : public ::testing::Test {
 protected:
  std::string LockFile() const { return FDir / "ox.lck"; }
  ScratchDir FDir;
};

TEST_F(LockMgrTest, ReadersShareATableAndKeepAWriterOut) {
  LockConnection a(LockFile()), b(LockFile()), c(LockFile());
  EXPECT_TRUE(a.Tables.SetReadLock(5, 1));
  EXPECT_TRUE(b.Tables.SetReadLock(5, 1));
  ASSERT_EQ(a.Tables.Locks().Count(), 1u);
  ASSERT_EQ(b.Tables.Locks().Count(), 1u);
  uint64_t byteA = a.Tables.Locks()[0].Offset, byteB = b.Tables.Locks()[0].Offset;
  EXPECT_NE(byteA, byteB);
  for (uint64_t byte : {byteA, byteB}) {
    EXPECT_GE(byte, TableRegion(5));
    EXPECT_LT(byte, TableRegion(6));
  }
  EXPECT_EQ(a.Tables.LockKindHeld(5), lkRead);

  ExpectVorError([&] { c.Tables.SetWriteLock(5, 0); }, 10249,
                 "A write lock could not be obtained on the table", "TBaseLockMgr.SetWriteLock");
  EXPECT_TRUE(c.Tables.Locks().Empty());
  EXPECT_EQ(c.Tables.LockKindHeld(5), lkNone);
}

TEST_F(LockMgrTest, ReadBytesStayInsideTheirRegion) {
  LockConnection a(LockFile());
  for (uint32_t id = 0; id < 200; ++id) ASSERT_TRUE(a.Tables.SetReadLock(id, 1));
  for (size_t i = 0; i < a.Tables.Locks().Count(); ++i) {
    const TLockItem& item = a.Tables.Locks()[i];
    EXPECT_GE(item.Offset, TableRegion(item.OwnerID));
    EXPECT_LT(item.Offset, TableRegion(item.OwnerID + 1));
  }
  // A multi-byte read range must not reach into the next region either.
  LockConnection b(LockFile());
  uint32_t drawBound = 0;
  b.Tables.SetRandomSource([&](uint32_t bound) {
    drawBound = bound;
    return bound - 1;
  });
  ASSERT_TRUE(b.Tables.SetReadLock(300, 16));
  EXPECT_EQ(drawBound, TableRegionSize - 15);
  EXPECT_EQ(b.Tables.Locks()[0].Offset + 16, TableRegion(301));
}

TEST_F(LockMgrTest, AHeldLockAnswersAReadRequestWithoutANewItem) {
  LockConnection a(LockFile());
  ASSERT_TRUE(a.Tables.SetReadLock(5, 1));
  EXPECT_TRUE(a.Tables.SetReadLock(5, 1));
  EXPECT_EQ(a.Tables.Locks().Count(), 1u);

  // A write lock already grants reading; a read byte inside it would merge with the write
  // range, and its release would open a hole in it.
  ASSERT_EQ(a.Tables.SetWriteLock(7, 0), lkWrite);
  EXPECT_TRUE(a.Tables.SetReadLock(7, 1));
  EXPECT_EQ(a.Tables.Locks().Count(), 2u);
  Probe probe(LockFile());
  EXPECT_FALSE(probe.Free(TableRegion(7), 1));
  EXPECT_FALSE(probe.Free(TableRegion(8) - 1, 1));
  a.Tables.ReleaseLock(7);
  EXPECT_TRUE(probe.Free(TableRegion(7), TableRegionSize));
}

struct UpgradeCase {
  const char* Name;
  uint32_t ReadByte;
  // Expected write items after the read item, as (offset in region, size).
  std::vector<std::pair<uint32_t, uint32_t>> WriteItems;
};

class UpgradeTest : public LockMgrTest, public ::testing::WithParamInterface<UpgradeCase> {};

TEST_P(UpgradeTest, LocksExactlyTheRestOfTheRegion) {
  const UpgradeCase& tc = GetParam();
  LockConnection a(LockFile());
  a.Tables.SetRandomSource(FixedByte(tc.ReadByte));
  ASSERT_TRUE(a.Tables.SetReadLock(5, 1));
  EXPECT_EQ(a.Tables.SetWriteLock(5, 0), lkWrite);

  const TLockCollection& locks = a.Tables.Locks();
  ASSERT_EQ(locks.Count(), 1 + tc.WriteItems.size());
  EXPECT_EQ(locks[0].Kind, lkRead);
  EXPECT_EQ(locks[0].Offset, TableRegion(5) + tc.ReadByte);
  for (size_t i = 0; i < tc.WriteItems.size(); ++i) {
    EXPECT_EQ(locks[i + 1].Kind, lkWrite);
    EXPECT_EQ(locks[i + 1].Offset, TableRegion(5) + tc.WriteItems[i].first);
    EXPECT_EQ(locks[i + 1].Size, tc.WriteItems[i].second);
    EXPECT_EQ(locks[i + 1].OwnerID, 5u);
  }
  EXPECT_EQ(a.Tables.LockKindHeld(5), lkWrite);

  // The whole region and nothing beyond it.
  Probe probe(LockFile());
  for (uint32_t byte : {0u, tc.ReadByte, TableRegionSize - 1, TableRegionSize / 2})
    EXPECT_FALSE(probe.Free(TableRegion(5) + byte, 1)) << byte;
  EXPECT_TRUE(probe.Free(TableRegion(5) - 1, 1));
  EXPECT_TRUE(probe.Free(TableRegion(6), 1));

  // Asking again changes nothing.
  EXPECT_EQ(a.Tables.SetWriteLock(5, 0), lkWrite);
  EXPECT_EQ(locks.Count(), 1 + tc.WriteItems.size());

  a.Tables.ReleaseLock(5);
  EXPECT_TRUE(locks.Empty());
  EXPECT_TRUE(probe.Free(TableRegion(5), TableRegionSize));
}

INSTANTIATE_TEST_SUITE_P(
    ReadBytes, UpgradeTest,
    ::testing::Values(UpgradeCase{"FirstByte", 0, {{1, TableRegionSize - 1}}},
                      UpgradeCase{"LastByte", TableRegionSize - 1, {{0, TableRegionSize - 1}}},
                      UpgradeCase{"Middle", 100, {{0, 100}, {101, TableRegionSize - 101}}}),
    [](const auto& info) { return std::string(info.param.Name); });

struct FailedUpgradeCase {
  const char* Name;
  uint32_t OtherReaderByte;  // our read byte is 100
};

class FailedUpgradeTest : public LockMgrTest,
                          public ::testing::WithParamInterface<FailedUpgradeCase> {};

TEST_P(FailedUpgradeTest, LeavesOnlyTheReadLock) {
  LockConnection a(LockFile()), b(LockFile());
  a.Tables.SetRandomSource(FixedByte(100));
  b.Tables.SetRandomSource(FixedByte(GetParam().OtherReaderByte));
  ASSERT_TRUE(a.Tables.SetReadLock(5, 1));
  ASSERT_TRUE(b.Tables.SetReadLock(5, 1));

  ExpectVorError([&] { a.Tables.SetWriteLock(5, 0); }, 10249,
                 "A write lock could not be obtained on the table",
                 "TBaseLockMgr.UpgradeReadLockToWriteLock");
  ASSERT_EQ(a.Tables.Locks().Count(), 1u);
  EXPECT_EQ(a.Tables.Locks()[0].Kind, lkRead);
  EXPECT_EQ(a.Tables.Locks()[0].Offset, TableRegion(5) + 100);
  EXPECT_EQ(a.Tables.LockKindHeld(5), lkRead);

  // Every byte but the two read bytes is free again; ours is still held.
  Probe probe(LockFile());
  uint64_t other = TableRegion(5) + GetParam().OtherReaderByte;
  uint64_t ours = TableRegion(5) + 100;
  uint64_t low = std::min(ours, other), high = std::max(ours, other);
  EXPECT_TRUE(probe.Free(TableRegion(5), low - TableRegion(5)));
  EXPECT_TRUE(probe.Free(low + 1, high - low - 1));
  EXPECT_TRUE(probe.Free(high + 1, TableRegion(6) - high - 1));
  EXPECT_TRUE(probe.Held(ours));

  // Once the other reader leaves the upgrade goes through.
  b.Tables.ReleaseLock(5);
  EXPECT_EQ(a.Tables.SetWriteLock(5, 0), lkWrite);
  EXPECT_FALSE(probe.Free(TableRegion(5), 1));
  EXPECT_FALSE(probe.Free(TableRegion(6) - 1, 1));
}

INSTANTIATE_TEST_SUITE_P(OtherReader, FailedUpgradeTest,
                         ::testing::Values(FailedUpgradeCase{"BeforeOurByte", 50},
                                           FailedUpgradeCase{"AfterOurByte", 150}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(LockMgrTest, ReleaseLockAndReleaseAllLeaveNothingLocked) {
  LockConnection a(LockFile()), b(LockFile());
  a.Tables.SetRandomSource(FixedByte(10));
  ASSERT_TRUE(a.Tables.SetReadLock(1, 1));
  ASSERT_EQ(a.Tables.SetWriteLock(2, 0), lkWrite);
  ASSERT_TRUE(a.Tables.SetReadLock(3, 1));
  ASSERT_EQ(a.Tables.SetWriteLock(3, 0), lkWrite);  // upgraded: three items
  ASSERT_EQ(a.Records.SetWriteLock(4096, 0), lkWrite);
  ASSERT_EQ(a.Records.SetWriteLock(8192, 0), lkWrite);

  EXPECT_TRUE(a.Tables.ReleaseLock(3));
  EXPECT_EQ(a.Tables.Locks().Count(), 2u);
  EXPECT_EQ(b.Tables.SetWriteLock(3, 0), lkWrite);
  b.Tables.ReleaseAll();

  a.Tables.ReleaseAll();
  a.Records.ReleaseAll();
  EXPECT_TRUE(a.Tables.Locks().Empty());
  EXPECT_TRUE(a.Records.Locks().Empty());
  for (uint32_t id : {1u, 2u, 3u}) EXPECT_EQ(b.Tables.SetWriteLock(id, 0), lkWrite) << id;
  for (uint32_t address : {4096u, 8192u}) EXPECT_EQ(b.Records.SetWriteLock(address, 0), lkWrite);
}

TEST_F(LockMgrTest, DestroyingAManagerGivesItsLocksBack) {
  Probe probe(LockFile());
  {
    LockConnection a(LockFile());
    ASSERT_EQ(a.Tables.SetWriteLock(9, 0), lkWrite);
    ASSERT_EQ(a.Records.SetWriteLock(77, 0), lkWrite);
    EXPECT_FALSE(probe.Free(TableRegion(9), TableRegionSize));
  }
  EXPECT_TRUE(probe.Free(TableRegion(9), TableRegionSize));
  EXPECT_TRUE(probe.Free(lockfile::RecordRegionBase + 77, 1));
}

TEST_F(LockMgrTest, UpgradeAllToWriteRaisesEveryReadLock) {
  LockConnection a(LockFile()), b(LockFile());
  ASSERT_TRUE(a.Tables.SetReadLock(1, 1));
  ASSERT_TRUE(a.Tables.SetReadLock(2, 1));
  ASSERT_EQ(a.Tables.SetWriteLock(3, 0), lkWrite);
  a.Tables.UpgradeAllToWrite();
  for (uint32_t id : {1u, 2u, 3u}) {
    EXPECT_EQ(a.Tables.LockKindHeld(id), lkWrite) << id;
    ExpectVorError([&] { b.Tables.SetReadLock(id, 1); }, 10249,
                   "A read lock could not be obtained on the table", "TBaseLockMgr.SetReadLock");
  }
  EXPECT_TRUE(b.Tables.Locks().Empty());

  // A failing upgrade keeps the read lock of that table and the upgrades made before it.
  LockConnection c(LockFile()), d(LockFile());
  ASSERT_TRUE(c.Tables.SetReadLock(11, 1));
  ASSERT_TRUE(c.Tables.SetReadLock(12, 1));
  ASSERT_TRUE(d.Tables.SetReadLock(12, 1));
  ExpectVorError([&] { c.Tables.UpgradeAllToWrite(); }, 10249,
                 "A write lock could not be obtained on the table");
  EXPECT_EQ(c.Tables.LockKindHeld(11), lkWrite);
  EXPECT_EQ(c.Tables.LockKindHeld(12), lkRead);
}

TEST_F(LockMgrTest, RecordLocksConflictBetweenConnections) {
  LockConnection a(LockFile()), b(LockFile());
  ASSERT_EQ(a.Records.SetWriteLock(1000, 0), lkWrite);
  EXPECT_EQ(a.Records.LockKindHeld(1000), lkWrite);
  EXPECT_EQ(a.Records.Locks()[0].Offset, lockfile::RecordRegionBase + 1000u);
  ExpectVorError([&] { b.Records.SetWriteLock(1000, 0); }, 10249,
                 "A lock could not be obtained on the record", "TBaseLockMgr.SetWriteLock");
  EXPECT_EQ(b.Records.SetWriteLock(1001, 0), lkWrite);
  a.Records.ReleaseLock(1000);
  EXPECT_EQ(b.Records.SetWriteLock(1000, 0), lkWrite);
}

TEST_F(LockMgrTest, RecordLocksNearFourGiBDoNotWrap) {
  LockConnection a(LockFile()), b(LockFile());
  constexpr uint32_t address = 0xFFFFFFFFu;
  ASSERT_EQ(a.Records.SetWriteLock(address, 0), lkWrite);
  EXPECT_EQ(a.Records.Locks()[0].Offset, 0x101FFFFFFull);
  EXPECT_EQ(a.Records.RegionAddress(address), 0x101FFFFFFull);
  // The 32-bit wrap of that offset would be record 0x1FFFFFF's neighbour; it stays free.
  Probe probe(LockFile());
  EXPECT_TRUE(probe.Free(0x1FFFFFFu, 1));
  EXPECT_TRUE(probe.Held(0x101FFFFFFull));
  ExpectVorError([&] { b.Records.SetWriteLock(address, 0); }, 10249,
                 "A lock could not be obtained on the record");
  EXPECT_EQ(b.Records.SetWriteLock(address - 1, 0), lkWrite);
}

struct NoRetryCase {
  const char* Name;
  int RetryMaximum;
};

class NoRetryTest : public LockMgrTest, public ::testing::WithParamInterface<NoRetryCase> {};

TEST_P(NoRetryTest, EveryRequestFailsAtOnce) {
  LockConnection a(LockFile());
  a.Tables.SetRetryMaximum(GetParam().RetryMaximum);
  a.Records.SetRetryMaximum(GetParam().RetryMaximum);
  ExpectVorError([&] { a.Tables.SetReadLock(1, 1); }, 10249,
                 "A read lock could not be obtained on the table");
  ExpectVorError([&] { a.Tables.SetWriteLock(1, 0); }, 10249,
                 "A write lock could not be obtained on the table");
  ExpectVorError([&] { a.Records.SetWriteLock(1, 0); }, 10249,
                 "A lock could not be obtained on the record");
  EXPECT_TRUE(a.Tables.Locks().Empty());
  EXPECT_TRUE(a.Records.Locks().Empty());
  EXPECT_TRUE(Probe(LockFile()).Free(0, 0x200000000ull));
}

INSTANTIATE_TEST_SUITE_P(RetryMaximum, NoRetryTest,
                         ::testing::Values(NoRetryCase{"Zero", 0}, NoRetryCase{"Negative", -1}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(LockMgrTest, RegionAddresses) {
  LockConnection a(LockFile());
  EXPECT_EQ(a.Tables.RegionAddress(0), 0x800000u);
  EXPECT_EQ(a.Tables.RegionAddress(5), 0x800000u + 5 * 8192);
  EXPECT_EQ(a.Tables.RegionAddress(2047), 0x800000ull + 2047ull * 8192);
  EXPECT_EQ(a.Records.RegionAddress(12345), 0x2000000u + 12345);
  EXPECT_EQ(a.Tables.RetryMaximum(), 2);
  EXPECT_EQ(TWinLockMgr(&a.File, 1, 0).RetryMaximum(), 10);
  EXPECT_EQ(TWinLockMgr(&a.File, 1, 0).RetryInterval(), 200);
}

TEST_F(LockMgrTest, ConsistencyChecks) {
  platform::File closed;
  ExpectAssertion([&] { TWinLockMgr m(&closed, 8192, 0); }, "File handle is not set");
  ExpectAssertion([&] { TWinLockMgr m(nullptr, 8192, 0); }, "File handle is not set");
  platform::File file = OpenShared(LockFile());
  ExpectAssertion([&] { TWinLockMgr m(&file, 0, 0); }, "Lock region size is 0");

  TWinLockMgr m(&file, 8192, 0x800000);
  ExpectAssertion([&] { m.SetReadLock(1, 8193); }, "Lock Request size is out of range");
  ExpectAssertion([&] { m.SetWriteLock(1, 8193); }, "Lock size is greater than lock region");
  EXPECT_TRUE(m.Locks().Empty());
}

TEST_F(LockMgrTest, AClosedHandleRaisesAndHoldsNothing) {
  platform::File file = OpenShared(LockFile());
  TWinLockMgr m(&file, 8192, 0x800000);
  FastRetries(m);
  ASSERT_EQ(m.SetWriteLock(1, 0), lkWrite);
  ASSERT_TRUE(m.SetReadLock(2, 1));
  file.Close();  // drops the system locks

  ExpectVorError([&] { m.SetReadLock(3, 1); }, 8449, "", "TVorFile.ReadLockVorFile");
  ExpectVorError([&] { m.SetWriteLock(3, 0); }, 8450, "File handle is invalid",
                 "TVorFile.SetWriteLock");
  ExpectVorError([&] { m.ReleaseAll(); }, 8450, "File handle is invalid", "TVorFile.UnlockVorFile");
  EXPECT_TRUE(m.Locks().Empty());
}

TEST_F(LockMgrTest, TheBaseManagerTakesNoLocks) {
  platform::File file = OpenShared(LockFile());
  TBaseLockMgr m(&file, 8192, 0x800000);
  FastRetries(m);
  m.SetReadFailMessage("read refused");
  m.SetWriteFailMessage("write refused");
  ExpectVorError([&] { m.SetReadLock(1, 1); }, 10249, "read refused");
  ExpectVorError([&] { m.SetWriteLock(1, 0); }, 10249, "write refused");
  EXPECT_TRUE(m.Locks().Empty());
}

TEST(LockCollectionTest, FindsTheFirstItemOfAnOwner) {
  TLockCollection locks;
  EXPECT_EQ(locks.KindOf(1), lkNone);
  locks.AddLock(1, 100, lkRead, 1);
  locks.AddLock(2, 200, lkWrite, 8192);
  locks.AddLock(1, 0, lkWrite, 100);
  EXPECT_EQ(locks.KindOf(1), lkRead);
  EXPECT_EQ(locks.KindOf(2), lkWrite);
  ASSERT_NE(locks.FindLock(1, lkWrite), nullptr);
  EXPECT_EQ(locks.FindLock(1, lkWrite)->Offset, 0u);
  EXPECT_EQ(locks.FindLock(2, lkRead), nullptr);
  locks.Delete(0);
  EXPECT_EQ(locks.KindOf(1), lkWrite);
  EXPECT_EQ(locks.Count(), 2u);
}

}  // namespace
