#include "platform/File.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "platform/PlatformTestDir.h"

using namespace platform;
using platform_test::HeldChild;
using platform_test::RunInChild;
using platform_test::ScratchDir;

namespace {

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  ::stat(path.c_str(), &st);
  return st.st_mode & 07777;
}

}  // namespace

TEST(FileTest, CreateWriteReadSize) {
  ScratchDir dir;
  ASSERT_TRUE(dir.Valid());
  File f;
  ASSERT_TRUE(f.Create(dir / "a.dat", Share::Exclusive));
  EXPECT_TRUE(f.IsOpen());
  EXPECT_EQ(f.Path(), dir / "a.dat");
  EXPECT_EQ(f.Size(), 0);
  const char text[] = "hello, world";
  EXPECT_EQ(f.WriteAt(100, text, 12), 12);
  EXPECT_EQ(f.Size(), 112);
  char buf[12] = {};
  EXPECT_TRUE(f.ReadExact(100, buf, 12));
  EXPECT_EQ(std::memcmp(buf, text, 12), 0);
  char zeros[100];
  EXPECT_TRUE(f.ReadExact(0, zeros, 100));
  for (char c : zeros) EXPECT_EQ(c, 0);
  EXPECT_TRUE(f.Flush());
  EXPECT_TRUE(f.Truncate(50));
  EXPECT_EQ(f.Size(), 50);
  f.Close();
  EXPECT_FALSE(f.IsOpen());
  EXPECT_EQ(ReadText(dir / "a.dat").size(), 50u);
}

TEST(FileTest, CreateTruncatesExistingFile) {
  ScratchDir dir;
  WriteText(dir / "t.dat", "old contents");
  File f;
  ASSERT_TRUE(f.Create(dir / "t.dat", Share::DenyNone));
  EXPECT_EQ(f.Size(), 0);
}

TEST(FileTest, CreateDoesNotTruncateAFileHeldExclusively) {
  ScratchDir dir;
  WriteText(dir / "t.dat", "keep me");
  File holder;
  ASSERT_TRUE(holder.Open(dir / "t.dat", Access::ReadWrite, Share::Exclusive));
  File f;
  EXPECT_FALSE(f.Create(dir / "t.dat", Share::DenyNone));
  EXPECT_EQ(f.LastError(), EWOULDBLOCK);
  EXPECT_EQ(ReadText(dir / "t.dat"), "keep me");
}

TEST(FileTest, OpenMissingFileFails) {
  ScratchDir dir;
  File f;
  EXPECT_FALSE(f.Open(dir / "missing", Access::Read, Share::DenyNone));
  EXPECT_EQ(f.LastError(), ENOENT);
  EXPECT_FALSE(f.IsOpen());
}

TEST(FileTest, OpenDirectoryFails) {
  ScratchDir dir;
  File f;
  EXPECT_FALSE(f.Open(dir.Path(), Access::Read, Share::DenyNone));
  EXPECT_FALSE(f.IsOpen());
}

TEST(FileTest, ReadExactAtEndOfFileIsShort) {
  ScratchDir dir;
  WriteText(dir / "s.dat", "0123456789");
  File f;
  ASSERT_TRUE(f.Open(dir / "s.dat", Access::Read, Share::DenyNone));
  char buf[16] = {};
  EXPECT_EQ(f.ReadAt(4, buf, 16), 6);
  EXPECT_EQ(std::string(buf, 6), "456789");
  EXPECT_FALSE(f.ReadExact(4, buf, 16));
  EXPECT_NE(f.LastError(), 0);
  EXPECT_EQ(f.ReadAt(10, buf, 4), 0);
  EXPECT_FALSE(f.ReadExact(10, buf, 1));
  EXPECT_FALSE(f.ReadExact(1000, buf, 1));
  EXPECT_TRUE(f.ReadExact(0, buf, 10));
  EXPECT_TRUE(f.ReadExact(10, buf, 0));
}

TEST(FileTest, WriteThroughReadOnlyHandleFails) {
  ScratchDir dir;
  WriteText(dir / "r.dat", "abc");
  File f;
  ASSERT_TRUE(f.Open(dir / "r.dat", Access::Read, Share::DenyNone));
  EXPECT_EQ(f.WriteAt(0, "x", 1), -1);
  EXPECT_EQ(f.LastError(), EBADF);
  EXPECT_FALSE(f.WriteExact(0, "x", 1));
}

TEST(FileTest, LargeTransfer) {
  ScratchDir dir;
  File f;
  ASSERT_TRUE(f.Create(dir / "big.dat", Share::Exclusive));
  std::vector<unsigned char> data(3 * 1024 * 1024 + 17);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<unsigned char>(i * 131 + 7);
  ASSERT_TRUE(f.WriteExact(5, data.data(), data.size()));
  std::vector<unsigned char> back(data.size());
  ASSERT_TRUE(f.ReadExact(5, back.data(), back.size()));
  EXPECT_EQ(back, data);
}

TEST(FileTest, OperationsOnClosedHandleFail) {
  File f;
  char c;
  EXPECT_EQ(f.ReadAt(0, &c, 1), -1);
  EXPECT_EQ(f.LastError(), EBADF);
  EXPECT_EQ(f.Size(), -1);
  EXPECT_FALSE(f.Truncate(0));
  EXPECT_FALSE(f.Flush());
  EXPECT_FALSE(f.LockRange(0, 1));
  EXPECT_EQ(f.Identity(), FileId{});
}

TEST(FileTest, MoveTransfersTheHandle) {
  ScratchDir dir;
  File a;
  ASSERT_TRUE(a.Create(dir / "m.dat", Share::Exclusive));
  int fd = a.Handle();
  File b(std::move(a));
  EXPECT_FALSE(a.IsOpen());
  EXPECT_EQ(b.Handle(), fd);
  EXPECT_EQ(b.Path(), dir / "m.dat");
  File c;
  c = std::move(b);
  EXPECT_FALSE(b.IsOpen());
  EXPECT_EQ(c.Handle(), fd);
  EXPECT_TRUE(c.WriteExact(0, "x", 1));
}

TEST(FileTest, IdentityMatchesTheName) {
  ScratchDir dir;
  File f;
  ASSERT_TRUE(f.Create(dir / "i.dat", Share::DenyNone));
  FileId byHandle = f.Identity();
  FileId byName;
  ASSERT_TRUE(FileIdentity(dir / "i.dat", byName));
  EXPECT_EQ(byHandle, byName);
  EXPECT_NE(byHandle.Inode, 0u);
  // Replaced under the same name: no longer the file the handle has open.
  ASSERT_TRUE(DeleteFile(dir / "i.dat"));
  EXPECT_FALSE(FileIdentity(dir / "i.dat", byName));
  WriteText(dir / "i.dat", "new");
  ASSERT_TRUE(FileIdentity(dir / "i.dat", byName));
  EXPECT_NE(byHandle, byName);
}

// --- share modes ---

TEST(FileShareTest, ExclusiveOpenFailsWhileAnotherHandleIsOpen) {
  ScratchDir dir;
  WriteText(dir / "x.dat", "data");
  File shared;
  ASSERT_TRUE(shared.Open(dir / "x.dat", Access::Read, Share::DenyNone));
  File excl;
  EXPECT_FALSE(excl.Open(dir / "x.dat", Access::ReadWrite, Share::Exclusive));
  EXPECT_EQ(excl.LastError(), EWOULDBLOCK);
  EXPECT_FALSE(excl.IsOpen());
  EXPECT_EQ(excl.Handle(), -1);
  shared.Close();
  EXPECT_TRUE(excl.Open(dir / "x.dat", Access::ReadWrite, Share::Exclusive));
}

TEST(FileShareTest, SharedOpensCoexist) {
  ScratchDir dir;
  WriteText(dir / "x.dat", "data");
  File a, b, c;
  EXPECT_TRUE(a.Open(dir / "x.dat", Access::Read, Share::DenyNone));
  EXPECT_TRUE(b.Open(dir / "x.dat", Access::ReadWrite, Share::DenyWrite));
  EXPECT_TRUE(c.Open(dir / "x.dat", Access::Write, Share::DenyRead));
}

TEST(FileShareTest, SharedOpenFailsWhileExclusiveIsHeld) {
  ScratchDir dir;
  WriteText(dir / "x.dat", "data");
  File excl;
  ASSERT_TRUE(excl.Open(dir / "x.dat", Access::ReadWrite, Share::Exclusive));
  for (Share share : {Share::DenyNone, Share::DenyWrite, Share::DenyRead, Share::Exclusive}) {
    File other;
    EXPECT_FALSE(other.Open(dir / "x.dat", Access::Read, share));
    EXPECT_EQ(other.LastError(), EWOULDBLOCK);
  }
  excl.Close();
  File other;
  EXPECT_TRUE(other.Open(dir / "x.dat", Access::Read, Share::DenyNone));
}

TEST(FileShareTest, ExclusiveOpenFailsWhileAnotherProcessHasTheFileOpen) {
  ScratchDir dir;
  const std::string path = dir / "p.dat";
  WriteText(path, "data");
  {
    HeldChild child([&] {
      static File held;  // stays open until the child exits
      return held.Open(path, Access::Read, Share::DenyNone) ? 0 : 1;
    });
    ASSERT_EQ(child.SetupCode(), 0);
    File excl;
    EXPECT_FALSE(excl.Open(path, Access::ReadWrite, Share::Exclusive));
    EXPECT_EQ(excl.LastError(), EWOULDBLOCK);
    EXPECT_EQ(child.Finish(), 0);
  }
  File excl;
  EXPECT_TRUE(excl.Open(path, Access::ReadWrite, Share::Exclusive));
}

TEST(FileShareTest, AnotherProcessCannotOpenAFileHeldExclusively) {
  ScratchDir dir;
  const std::string path = dir / "p.dat";
  WriteText(path, "data");
  File excl;
  ASSERT_TRUE(excl.Open(path, Access::ReadWrite, Share::Exclusive));
  int code = RunInChild([&] {
    File f;
    if (f.Open(path, Access::Read, Share::DenyNone)) return 1;
    return f.LastError() == EWOULDBLOCK ? 0 : 2;
  });
  EXPECT_EQ(code, 0);
  excl.Close();
  code = RunInChild([&] {
    File f;
    return f.Open(path, Access::Read, Share::DenyNone) ? 0 : 1;
  });
  EXPECT_EQ(code, 0);
}

// --- free functions ---

TEST(FileFunctionsTest, FileExists) {
  ScratchDir dir;
  EXPECT_FALSE(FileExists(dir / "e.dat"));
  WriteText(dir / "e.dat", "");
  EXPECT_TRUE(FileExists(dir / "e.dat"));
  EXPECT_FALSE(FileExists(dir.Path()));  // a directory is not a file
  EXPECT_TRUE(DeleteFile(dir / "e.dat"));
  EXPECT_FALSE(FileExists(dir / "e.dat"));
  EXPECT_FALSE(DeleteFile(dir / "e.dat"));
}

TEST(FileFunctionsTest, ReadOnlyByModeBits) {
  ScratchDir dir;
  const std::string path = dir / "ro.dat";
  WriteText(path, "x");
  ASSERT_EQ(::chmod(path.c_str(), 0644), 0);
  EXPECT_FALSE(FileIsReadOnly(path));
  ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
  EXPECT_TRUE(FileIsReadOnly(path));
  ASSERT_EQ(::chmod(path.c_str(), 0464), 0);  // a group write bit: not read-only
  EXPECT_FALSE(FileIsReadOnly(path));

  ASSERT_EQ(::chmod(path.c_str(), 0664), 0);
  EXPECT_TRUE(SetFileReadOnly(path, true));
  EXPECT_EQ(ModeOf(path), 0444u);
  EXPECT_TRUE(FileIsReadOnly(path));
  EXPECT_TRUE(SetFileReadOnly(path, false));
  EXPECT_EQ(ModeOf(path), 0644u);
  EXPECT_FALSE(FileIsReadOnly(path));

  EXPECT_FALSE(FileIsReadOnly(dir / "missing"));
  EXPECT_FALSE(SetFileReadOnly(dir / "missing", true));
}

TEST(FileFunctionsTest, CopyFile) {
  ScratchDir dir;
  const std::string src = dir / "src.dat", dst = dir / "dst.dat";
  std::string contents(200000, '\0');
  for (size_t i = 0; i < contents.size(); ++i) contents[i] = static_cast<char>(i % 251);
  WriteText(src, contents);
  ASSERT_EQ(::chmod(src.c_str(), 0640), 0);

  EXPECT_TRUE(CopyFile(src, dst, true));
  EXPECT_EQ(ReadText(dst), contents);
  EXPECT_EQ(ModeOf(dst), 0640u);

  // failIfExists refuses an existing target and leaves it alone.
  WriteText(dst, "other");
  errno = 0;
  EXPECT_FALSE(CopyFile(src, dst, true));
  EXPECT_EQ(errno, EEXIST);
  EXPECT_EQ(ReadText(dst), "other");

  // Without it the target is replaced (a shorter source leaves nothing behind).
  WriteText(dst, std::string(300000, 'z'));
  EXPECT_TRUE(CopyFile(src, dst, false));
  EXPECT_EQ(ReadText(dst), contents);

  EXPECT_FALSE(CopyFile(dir / "missing", dir / "x.dat", false));
  EXPECT_FALSE(FileExists(dir / "x.dat"));
  // Never onto itself.
  EXPECT_FALSE(CopyFile(src, src, false));
  EXPECT_EQ(ReadText(src), contents);
}

TEST(FileFunctionsTest, CopyOfReadOnlyFileIsReadOnly) {
  ScratchDir dir;
  const std::string src = dir / "src.dat", dst = dir / "dst.dat";
  WriteText(src, "read only");
  ASSERT_TRUE(SetFileReadOnly(src, true));
  EXPECT_TRUE(CopyFile(src, dst, true));
  EXPECT_EQ(ReadText(dst), "read only");
  EXPECT_TRUE(FileIsReadOnly(dst));
}
