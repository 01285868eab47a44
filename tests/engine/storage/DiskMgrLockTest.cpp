// The disk manager's lock entry points: table and record locks between connections of one
// process and of forked processes, locks inside transactions, and read-only files.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "DiskMgrTestSupport.h"
#include "engine/storage/WinLockMgr.h"
#include "platform/File.h"

using namespace diskmgr_test;

namespace {

constexpr uint32_t P = 4096;
constexpr uint16_t Records = dbfile::UsageRecords;

// Child exit codes.
constexpr int ChildGotLock = 0;
constexpr int ChildTimedOut = 1;
constexpr int ChildOtherError = 2;
constexpr int ChildWrongState = 3;

// Runs fn in a forked process and returns its exit code.
int RunInChild(const std::function<int()>& fn) {
  const pid_t pid = fork();
  if (pid == 0) {
    int rc = ChildOtherError;
    try {
      rc = fn();
    } catch (...) {
    }
    _exit(rc);
  }
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

// A fresh connection in the child asks for a table lock.
int ChildLockTable(const std::string& path, uint16_t tableID, uint32_t kind) {
  try {
    auto dm = OpenDatabase(path, P);
    return dm->LockTable(tableID, kind) == kind ? ChildGotLock : ChildWrongState;
  } catch (const EVorDatabaseError& e) {
    return e.ErrorCode == 10249 ? ChildTimedOut : ChildOtherError;
  }
}

class DiskMgrLockTest : public ::testing::Test {
 protected:
  void SetUp() override { CreateDatabase(Path, P); }
  std::unique_ptr<TDiskMgr> Open() { return OpenDatabase(Path, P); }

  ScratchDir Dir;
  std::string Path = Dir / "ox.vor";
  std::vector<uint8_t> Page = Pages(P, 1, 0x3C);
};

TEST_F(DiskMgrLockTest, ReadersShareATableAndShutOutWriters) {
  auto a = Open();
  auto b = Open();
  auto c = Open();
  EXPECT_EQ(a->LockTable(5, lkRead), lkRead);
  EXPECT_EQ(b->LockTable(5, lkRead), lkRead);
  RaisedError error = ErrorOf([&] { c->LockTable(5, lkWrite); });
  EXPECT_EQ(error.Code, 10249);
  EXPECT_NE(error.Message.find("A write lock could not be obtained on the table"),
            std::string::npos);
  // Other tables are free.
  EXPECT_EQ(c->LockTable(6, lkWrite), lkWrite);

  EXPECT_EQ(a->UnlockTable(5), 0);
  EXPECT_EQ(b->UnlockTable(5), 0);
  EXPECT_EQ(c->LockTable(5, lkWrite), lkWrite);
  error = ErrorOf([&] { a->LockTable(5, lkRead); });
  EXPECT_EQ(error.Code, 10249);
  EXPECT_NE(error.Message.find("A read lock could not be obtained on the table"),
            std::string::npos);
  c->ReleaseAllLocks();
  EXPECT_EQ(a->LockTable(5, lkRead), lkRead);
  EXPECT_EQ(a->LockTable(6, lkRead), lkRead);
}

TEST_F(DiskMgrLockTest, EveryLockTableCallIsCounted) {
  auto a = Open();
  auto b = Open();
  b->LockTable(9, lkWrite);
  const long long writes = EngineLogger().Counter("WRITELOCK");
  const long long reads = EngineLogger().Counter("READLOCK");
  a->LockTable(3, lkWrite);
  a->LockTable(3, lkRead);
  a->StartTransaction();
  EXPECT_EQ(a->LockTable(4, lkWrite), lkRead);  // a writer reads until commit
  a->Rollback();
  EXPECT_EQ(ErrorOf([&] { a->LockTable(9, lkRead); }).Code, 10249);
  EXPECT_EQ(EngineLogger().Counter("WRITELOCK"), writes + 2);
  // The rollback's header read lock counts too.
  EXPECT_EQ(EngineLogger().Counter("READLOCK"), reads + 3);
}

TEST_F(DiskMgrLockTest, TransactionLocksLastUntilCommit) {
  auto a = Open();
  auto b = Open();
  a->StartTransaction();
  EXPECT_EQ(a->LockTable(5, lkWrite), lkRead);
  // Only a read lock so far: another reader comes and goes.
  EXPECT_EQ(b->LockTable(5, lkRead), lkRead);
  b->UnlockTable(5);
  a->AllocatePages(5, 1, Page.data(), 1, Records);
  EXPECT_EQ(a->UnlockTable(5), 0);  // kept until the transaction ends
  EXPECT_EQ(ErrorOf([&] { b->LockTable(5, lkWrite); }).Code, 10249);
  // The header, too, is read-locked until commit.
  EXPECT_EQ(ErrorOf([&] { b->WriteLockHeader(); }).Code, 10249);
  EXPECT_EQ(ReadFileBytes(Path).size(), 6u * P);

  a->Commit();
  EXPECT_FALSE(a->InTransaction());
  EXPECT_TRUE(a->TableLockMgr()->Locks().Empty());
  EXPECT_EQ(ReadFileBytes(Path).size(), 7u * P);
  EXPECT_EQ(b->LockTable(5, lkWrite), lkWrite);
  b->WriteLockHeader();
  EXPECT_EQ(b->GlobalHdr()->FirstFreeMapPage(), 0u);
  b->UnlockHeader();
}

TEST_F(DiskMgrLockTest, CommitWaitsForNoReaderAndRollbackReleases) {
  auto a = Open();
  auto b = Open();
  a->StartTransaction();
  a->LockTable(5, lkWrite);
  a->AllocatePages(5, 1, Page.data(), 1, Records);
  b->LockTable(5, lkRead);
  const RaisedError error = ErrorOf([&] { a->Commit(); });
  EXPECT_EQ(error.Code, 10249);
  // Nothing was written and the transaction is still there to be rolled back.
  EXPECT_TRUE(a->InTransaction());
  EXPECT_EQ(ReadFileBytes(Path).size(), 6u * P);
  a->Rollback();
  EXPECT_TRUE(a->TableLockMgr()->Locks().Empty());
  EXPECT_EQ(a->GlobalHdr()->FirstFreeMapPage(), 5 * P);
  b->UnlockTable(5);
  EXPECT_EQ(b->LockTable(5, lkWrite), lkWrite);
  EXPECT_EQ(ReadFileBytes(Path).size(), 6u * P);
}

// Another connection may append between StartTransaction and the transaction's first page
// operation: the transaction must append behind those pages, not over them.
TEST_F(DiskMgrLockTest, TransactionAppendsBehindPagesAppendedSinceItStarted) {
  auto a = Open();
  auto b = Open();
  a->StartTransaction();
  const std::vector<uint8_t> other = Pages(P, 1, 0x5A);
  EXPECT_EQ(b->AllocatePages(6, 0, other.data(), 1, Records), 6 * P);
  const uint32_t address = a->AllocatePages(5, PageFlagCached, Page.data(), 1, Records);
  EXPECT_EQ(address, 7 * P);
  a->Commit();

  const std::vector<uint8_t> file = ReadFileBytes(Path);
  ASSERT_EQ(file.size(), 8u * P);
  EXPECT_TRUE(std::equal(other.begin(), other.end(), file.begin() + 6 * P));
  EXPECT_EQ(U16(file, FirstMapByte(P, EntryOffset(P, 6))), dbfile::MapEntryValue(6, Records));
  EXPECT_EQ(U16(file, FirstMapByte(P, EntryOffset(P, 7))), dbfile::MapEntryValue(5, Records));
}

TEST_F(DiskMgrLockTest, CommitAndRollbackWithoutTransactionKeepLocks) {
  auto a = Open();
  a->LockTable(5, lkWrite);
  EXPECT_EQ(ErrorOf([&] { a->Commit(); }).Code, 10257);
  EXPECT_EQ(ErrorOf([&] { a->Rollback(); }).Code, 10257);
  EXPECT_EQ(a->TableLockMgr()->LockKindHeld(5), lkWrite);
}

TEST_F(DiskMgrLockTest, RecordLocks) {
  auto a = Open();
  auto b = Open();
  EXPECT_EQ(a->LockRecord(0x12345), lkWrite);
  const RaisedError error = ErrorOf([&] { b->LockRecord(0x12345); });
  EXPECT_EQ(error.Code, 10249);
  EXPECT_NE(error.Message.find("A lock could not be obtained on the record"), std::string::npos);
  EXPECT_EQ(b->LockRecord(0x12346), lkWrite);
  EXPECT_EQ(a->UnlockRecord(0x12345), 0);
  EXPECT_EQ(b->LockRecord(0x12345), lkWrite);
  b->ReleaseAllLocks();
  EXPECT_TRUE(b->RecordLockMgr()->Locks().Empty());
  EXPECT_EQ(a->LockRecord(0x12346), lkWrite);
}

TEST_F(DiskMgrLockTest, PageOperationsHoldTheHeaderOnlyWhileTheyRun) {
  auto a = Open();
  auto b = Open();
  a->AllocatePages(3, 0, Page.data(), 1, Records);
  EXPECT_FALSE(a->HeaderLocked());
  b->WriteLockHeader();
  EXPECT_EQ(b->GlobalHdr()->FirstFreeMapPage(), 0u);  // b reads a's change
  EXPECT_EQ(ErrorOf([&] { a->AllocatePages(3, 0, Page.data(), 1, Records); }).Code, 10249);
  EXPECT_FALSE(a->HeaderLocked());
  b->UnlockHeader();

  // A header lock held by the caller is raised to a write lock and kept.
  a->ReadLockHeader();
  a->ReleasePages(6 * P, 1);
  EXPECT_TRUE(a->HeaderWriteLocked());
  EXPECT_EQ(ErrorOf([&] { b->ReadLockHeader(); }).Code, 10249);
  a->UnlockHeader();
  b->ReadLockHeader();
  EXPECT_EQ(b->GlobalHdr()->FirstFreeMapPage(), 5 * P);
  b->UnlockHeader();
}

TEST_F(DiskMgrLockTest, AnotherProcessWaitsForACommit) {
  auto a = Open();
  EXPECT_EQ(a->LockTable(7, lkWrite), lkWrite);
  EXPECT_EQ(RunInChild([&] { return ChildLockTable(Path, 7, lkRead); }), ChildTimedOut);

  a->StartTransaction();
  a->AllocatePages(7, 1, Page.data(), 1, Records);
  a->UnlockTable(7);
  EXPECT_EQ(RunInChild([&] { return ChildLockTable(Path, 7, lkRead); }), ChildTimedOut);

  a->Commit();
  const int rc = RunInChild([&] {
    auto dm = OpenDatabase(Path, P);
    if (dm->LockTable(7, lkRead) != lkRead) return ChildWrongState;
    std::vector<uint32_t> list;
    dm->ListAllocatedFixedBlocks(P, 7, list, Records);
    return list == std::vector<uint32_t>{6 * P} ? ChildGotLock : ChildWrongState;
  });
  EXPECT_EQ(rc, ChildGotLock);
  // The child left: the lock file still serves a, and goes with a's close.
  EXPECT_TRUE(platform::FileExists(Dir / "ox.lck"));
  a->Close();
  EXPECT_FALSE(platform::FileExists(Dir / "ox.lck"));
}

TEST_F(DiskMgrLockTest, AProcessHoldingALockShutsOutThisOne) {
  int ready[2];
  int done[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(done), 0);
  const pid_t pid = fork();
  if (pid == 0) {
    int rc = ChildOtherError;
    try {
      auto dm = OpenDatabase(Path, P);
      rc = dm->LockTable(8, lkWrite) == lkWrite && dm->LockRecord(0x4000) == lkWrite
               ? ChildGotLock
               : ChildWrongState;
      char byte = 1;
      if (write(ready[1], &byte, 1) != 1 || read(done[0], &byte, 1) != 1) rc = ChildOtherError;
    } catch (...) {
    }
    _exit(rc);
  }
  ASSERT_GT(pid, 0);
  char byte = 0;
  ASSERT_EQ(read(ready[0], &byte, 1), 1);
  auto a = Open();
  EXPECT_EQ(ErrorOf([&] { a->LockTable(8, lkRead); }).Code, 10249);
  EXPECT_EQ(ErrorOf([&] { a->LockRecord(0x4000); }).Code, 10249);
  EXPECT_EQ(a->LockTable(9, lkWrite), lkWrite);
  ASSERT_EQ(write(done[1], &byte, 1), 1);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), ChildGotLock);
  EXPECT_EQ(a->LockTable(8, lkWrite), lkWrite);
  EXPECT_EQ(a->LockRecord(0x4000), lkWrite);
  for (int fd : {ready[0], ready[1], done[0], done[1]}) close(fd);
}

TEST_F(DiskMgrLockTest, ReadOnlyFileTakesNoLocks) {
  ASSERT_TRUE(platform::SetFileReadOnly(Path, true));
  auto a = OpenDatabase(Path, P, fmOpenRead | fmShareDenyNone);
  auto b = OpenDatabase(Path, P, fmOpenRead | fmShareDenyNone);
  EXPECT_FALSE(a->MultiUser());
  EXPECT_EQ(a->UserMonitor(), nullptr);
  EXPECT_EQ(a->TableLockMgr(), nullptr);
  EXPECT_EQ(a->RecordLockMgr(), nullptr);
  EXPECT_FALSE(platform::FileExists(Dir / "ox.lck"));

  const long long writes = EngineLogger().Counter("WRITELOCK");
  const long long reads = EngineLogger().Counter("READLOCK");
  EXPECT_EQ(a->LockTable(3, lkWrite), lkWrite);
  EXPECT_EQ(b->LockTable(3, lkWrite), lkWrite);
  EXPECT_EQ(a->LockTable(3, lkRead), lkRead);
  EXPECT_EQ(EngineLogger().Counter("WRITELOCK"), writes + 2);
  EXPECT_EQ(EngineLogger().Counter("READLOCK"), reads + 1);
  EXPECT_EQ(a->LockRecord(0x100), lkNone);
  EXPECT_EQ(a->UnlockTable(3), 0);
  EXPECT_EQ(a->UnlockRecord(0x100), 0);
  a->ReleaseAllLocks();

  a->ReadLockHeader();
  b->ReadLockHeader();
  EXPECT_EQ(a->GlobalHdr()->FirstMapPage(), 5 * P);
  a->UnlockHeader();
  b->UnlockHeader();
  a->Close();
  b->Close();
  EXPECT_FALSE(platform::FileExists(Dir / "ox.lck"));
  ASSERT_TRUE(platform::SetFileReadOnly(Path, false));
}

// A connection that opens a writable file for reading only is still a full member: it holds
// the parent lock around creating the lock file, and its table locks exclude writers.
TEST_F(DiskMgrLockTest, ReadOnlyModeOnWritableFileStillLocks) {
  auto reader = OpenDatabase(Path, P, fmOpenRead | fmShareDenyNone);
  EXPECT_TRUE(reader->MultiUser());
  EXPECT_TRUE(platform::FileExists(Dir / "ox.lck"));
  EXPECT_EQ(reader->LockTable(4, lkRead), lkRead);
  EXPECT_EQ(RunInChild([&] { return ChildLockTable(Path, 4, lkWrite); }), ChildTimedOut);
  reader->UnlockTable(4);
  EXPECT_EQ(RunInChild([&] { return ChildLockTable(Path, 4, lkWrite); }), ChildGotLock);
  reader->Close();
  EXPECT_FALSE(platform::FileExists(Dir / "ox.lck"));
}

}  // namespace
