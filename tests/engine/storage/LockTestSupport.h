// Helpers for the lock manager and user monitor tests: a scratch directory, a connection's
// lock managers over its own lock-file handle, a probe handle, error expectations and a
// child process that reports by exit code.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <random>
#include <string>

#include "engine/storage/DBLogger.h"
#include "engine/storage/LockFileLayout.h"
#include "engine/storage/VorErrors.h"
#include "engine/storage/WinLockMgr.h"
#include "platform/File.h"
#include "support/TestDir.h"

namespace locktest {

using test_support::ScratchDir;

inline platform::File OpenShared(const std::string& path) {
  platform::File file;
  if (!platform::FileExists(path)) file.Create(path, platform::Share::DenyNone);
  file.Close();
  file.Open(path, platform::Access::ReadWrite, platform::Share::DenyNone);
  return file;
}

// Small retry settings keep failing requests fast.
inline void FastRetries(TBaseLockMgr& mgr) {
  mgr.SetRetryMaximum(2);
  mgr.SetRetryInterval(1);
}

// One connection's lock managers, set up as the disk manager sets them up, over a handle
// of its own.
struct LockConnection {
  explicit LockConnection(const std::string& lockFile) : File(OpenShared(lockFile)) {
    Tables.SetReadFailMessage(lockfile::TableReadFailMessage);
    Tables.SetWriteFailMessage(lockfile::TableWriteFailMessage);
    Records.SetReadFailMessage(lockfile::RecordFailMessage);
    Records.SetWriteFailMessage(lockfile::RecordFailMessage);
    FastRetries(Tables);
    FastRetries(Records);
  }
  platform::File File;
  TWinLockMgr Tables{&File, lockfile::TableRegionSize, lockfile::TableRegionBase};
  TWinLockMgr Records{&File, lockfile::RecordRegionSize, lockfile::RecordRegionBase};
};

inline TRandomSource FixedByte(uint32_t byte) {
  return [byte](uint32_t) { return byte; };
}

inline uint64_t TableRegion(uint32_t id) {
  return lockfile::TableRegionBase + uint64_t{id} * lockfile::TableRegionSize;
}

// A separate handle that tells whether a range is free of every other handle's locks.
class Probe {
 public:
  explicit Probe(const std::string& lockFile) : FFile(OpenShared(lockFile)) {}
  bool Free(uint64_t offset, uint64_t length) {
    if (!FFile.LockRange(offset, length)) return false;
    FFile.UnlockRange(offset, length);
    return true;
  }
  bool Held(uint64_t offset) { return !Free(offset, 1); }

 private:
  platform::File FFile;
};

template <class F>
void ExpectVorError(F&& action, int code, const std::string& message,
                    const std::string& context = "") {
  try {
    action();
    ADD_FAILURE() << "expected error " << code;
  } catch (const EVorDatabaseError& e) {
    EXPECT_EQ(e.ErrorCode, code);
    EXPECT_THAT(e.Message(), ::testing::HasSubstr(message));
    if (!context.empty()) {
      auto lines = EngineLogger().LinesSnapshot();
      ASSERT_FALSE(lines.empty());
      EXPECT_THAT(lines.back(), ::testing::HasSubstr(context));
    }
  }
}

template <class F>
void ExpectAssertion(F&& action, const std::string& text) {
  try {
    action();
    ADD_FAILURE() << "expected assertion " << text;
  } catch (const EAssertionFailed& e) {
    EXPECT_THAT(e.Message(), ::testing::HasSubstr(text));
    EXPECT_THAT(e.Message(), ::testing::HasSubstr("vorLockMgrUnit"));
  }
}

// Runs body in a forked process and returns its exit code (-1 when it did not exit). The
// child must not use gtest assertions; an escaping exception exits with 97.
inline int RunInChild(const std::function<int()>& body) {
  pid_t pid = fork();
  if (pid == 0) {
    int code = 97;
    try {
      code = body();
    } catch (...) {
    }
    _exit(code);
  }
  if (pid < 0) return -2;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return -3;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// In a child: 0 when action raises the engine error with that code, 1 when it succeeds,
// 2 for any other failure.
template <class F>
int ChildExpectsError(F&& action, int code) {
  try {
    action();
    return 1;
  } catch (const EVorDatabaseError& e) {
    return e.ErrorCode == code ? 0 : 2;
  } catch (...) {
    return 2;
  }
}

}  // namespace locktest
