// Byte-range locks: open-file-description locks owned by a handle.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <fstream>
#include <string>

#include "platform/File.h"
#include "platform/PlatformTestDir.h"

using namespace platform;
using platform_test::HeldChild;
using platform_test::RunInChild;
using platform_test::ScratchDir;

namespace {

class LockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.Valid());
    path = dir / "lock.dat";
    std::ofstream(path, std::ios::binary) << "a small file";
  }
  File OpenShared() {
    File f;
    EXPECT_TRUE(f.Open(path, Access::ReadWrite, Share::DenyNone));
    return f;
  }

  ScratchDir dir;
  std::string path;
};

constexpr uint64_t kHighOffset = 0x0FF10000;
constexpr uint64_t kBeyond4G = 0x100000000ULL + 0x1234;

// Exit codes of a child that tries a lock: 0 = got it, 1 = conflict, 2 = something else.
int TryLockInChild(const std::string& path, uint64_t offset, uint64_t length) {
  return RunInChild([&] {
    File f;
    if (!f.Open(path, Access::ReadWrite, Share::DenyNone)) return 2;
    if (f.LockRange(offset, length)) return 0;
    return f.LastError() == EWOULDBLOCK ? 1 : 2;
  });
}

}  // namespace

TEST_F(LockTest, TwoHandlesOfOneProcessConflict) {
  File a = OpenShared(), b = OpenShared();
  ASSERT_TRUE(a.LockRange(100, 10));
  EXPECT_FALSE(b.LockRange(100, 10));
  EXPECT_EQ(b.LastError(), EWOULDBLOCK);
  EXPECT_FALSE(b.LockRange(109, 1));  // overlaps the last byte
  EXPECT_FALSE(b.LockRange(50, 51));  // overlaps the first byte
  EXPECT_TRUE(b.LockRange(110, 10));  // adjacent ranges do not conflict
  EXPECT_TRUE(b.LockRange(90, 10));
  EXPECT_FALSE(a.LockRange(115, 1));  // and the other way round
}

TEST_F(LockTest, UnlockReleases) {
  File a = OpenShared(), b = OpenShared();
  ASSERT_TRUE(a.LockRange(0, 1));
  EXPECT_FALSE(b.LockRange(0, 1));
  EXPECT_TRUE(a.UnlockRange(0, 1));
  EXPECT_TRUE(b.LockRange(0, 1));
  EXPECT_FALSE(a.LockRange(0, 1));
}

TEST_F(LockTest, CloseReleases) {
  File a = OpenShared(), b = OpenShared();
  ASSERT_TRUE(a.LockRange(20, 5));
  EXPECT_FALSE(b.LockRange(20, 5));
  a.Close();
  EXPECT_TRUE(b.LockRange(20, 5));
}

TEST_F(LockTest, DestructorReleases) {
  File b = OpenShared();
  {
    File a = OpenShared();
    ASSERT_TRUE(a.LockRange(20, 5));
    EXPECT_FALSE(b.LockRange(20, 5));
  }
  EXPECT_TRUE(b.LockRange(20, 5));
}

TEST_F(LockTest, FarBeyondTheEndOfASmallFile) {
  File a = OpenShared(), b = OpenShared();
  ASSERT_LT(a.Size(), 100);
  ASSERT_TRUE(a.LockRange(kHighOffset, 1));
  ASSERT_TRUE(a.LockRange(kHighOffset + 0x100, 0x100));
  EXPECT_FALSE(b.LockRange(kHighOffset, 1));
  EXPECT_EQ(b.LastError(), EWOULDBLOCK);
  EXPECT_FALSE(b.LockRange(kHighOffset + 0x180, 1));
  EXPECT_TRUE(b.LockRange(kHighOffset + 1, 1));

  ASSERT_TRUE(a.LockRange(kBeyond4G, 16));
  EXPECT_FALSE(b.LockRange(kBeyond4G + 15, 1));
  EXPECT_TRUE(b.LockRange(kBeyond4G + 16, 1));
  // Only the offset above 4 GiB distinguishes it from the same range below.
  EXPECT_TRUE(b.LockRange(kBeyond4G - 0x100000000ULL, 16));

  EXPECT_TRUE(a.UnlockRange(kHighOffset, 1));
  EXPECT_TRUE(b.LockRange(kHighOffset, 1));
  EXPECT_TRUE(a.UnlockRange(kBeyond4G, 16));
  EXPECT_TRUE(b.LockRange(kBeyond4G, 16));
  // Locks never change the file.
  EXPECT_EQ(a.Size(), 12);
}

TEST_F(LockTest, InvalidRanges) {
  File a = OpenShared();
  EXPECT_FALSE(a.LockRange(0, 0));
  EXPECT_EQ(a.LastError(), EINVAL);
  EXPECT_FALSE(a.LockRange(UINT64_MAX - 1, 10));
  EXPECT_EQ(a.LastError(), EINVAL);
}

TEST_F(LockTest, ConflictsWithAnotherProcess) {
  File a = OpenShared();
  ASSERT_TRUE(a.LockRange(kHighOffset, 4));
  ASSERT_TRUE(a.LockRange(kBeyond4G, 4));
  EXPECT_EQ(TryLockInChild(path, kHighOffset, 4), 1);
  EXPECT_EQ(TryLockInChild(path, kHighOffset + 3, 1), 1);
  EXPECT_EQ(TryLockInChild(path, kBeyond4G + 2, 8), 1);
  EXPECT_EQ(TryLockInChild(path, kHighOffset + 4, 4), 0);
  EXPECT_TRUE(a.UnlockRange(kHighOffset, 4));
  EXPECT_EQ(TryLockInChild(path, kHighOffset, 4), 0);
  a.Close();
  EXPECT_EQ(TryLockInChild(path, kBeyond4G, 4), 0);
}

TEST_F(LockTest, AnotherProcessHoldsTheLockUntilItExits) {
  const std::string p = path;
  HeldChild child([p] {
    static File held;  // stays open until the child exits
    if (!held.Open(p, Access::ReadWrite, Share::DenyNone)) return 2;
    return held.LockRange(kHighOffset, 16) ? 0 : 1;
  });
  ASSERT_EQ(child.SetupCode(), 0);
  File a = OpenShared();
  EXPECT_FALSE(a.LockRange(kHighOffset + 8, 1));
  EXPECT_EQ(a.LastError(), EWOULDBLOCK);
  EXPECT_TRUE(a.LockRange(kHighOffset + 16, 1));
  EXPECT_EQ(child.Finish(), 0);
  EXPECT_TRUE(a.LockRange(kHighOffset + 8, 1));
}

// Windows lets a read-only handle lock; here it locks through a writable description of its
// own, which must conflict like any other handle and go away with the handle.
TEST_F(LockTest, ReadOnlyHandleLocksLikeAnyOther) {
  File reader;
  ASSERT_TRUE(reader.Open(path, Access::Read, Share::DenyNone));
  File other = OpenShared();
  ASSERT_TRUE(reader.LockRange(8192, 1));
  EXPECT_FALSE(other.LockRange(8192, 1));
  EXPECT_EQ(TryLockInChild(path, 8192, 1), 1);
  ASSERT_TRUE(reader.UnlockRange(8192, 1));
  EXPECT_TRUE(other.LockRange(8192, 1));
  EXPECT_FALSE(reader.LockRange(8192, 1));
  ASSERT_TRUE(other.UnlockRange(8192, 1));
  ASSERT_TRUE(reader.LockRange(0x0FF10000, 1000));
  reader.Close();
  EXPECT_TRUE(other.LockRange(0x0FF10000, 1000));
}
