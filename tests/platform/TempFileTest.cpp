#include "platform/TempFile.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "platform/File.h"
#include "platform/PlatformTestDir.h"

using namespace platform;
using platform_test::ScratchDir;

namespace {

// Sets $TMPDIR for one scope and puts back what was there.
class ScopedTmpDir {
 public:
  explicit ScopedTmpDir(const char* value) {
    if (const char* old = std::getenv("TMPDIR")) FOld = old;
    if (value != nullptr) {
      ::setenv("TMPDIR", value, 1);
    } else {
      ::unsetenv("TMPDIR");
    }
  }
  ~ScopedTmpDir() {
    if (FOld) {
      ::setenv("TMPDIR", FOld->c_str(), 1);
    } else {
      ::unsetenv("TMPDIR");
    }
  }

 private:
  std::optional<std::string> FOld;
};

bool StartsWith(const std::string& s, const std::string& prefix) {
  return s.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

TEST(TempFileTest, TempDirectoryFollowsTmpdir) {
  ScratchDir dir;
  ASSERT_TRUE(dir.Valid());
  {
    std::string withoutSlash = dir.Path().substr(0, dir.Path().size() - 1);
    ScopedTmpDir env(withoutSlash.c_str());
    EXPECT_EQ(TempDirectory(), dir.Path());
  }
  {
    ScopedTmpDir env((dir / "no-such-dir").c_str());
    EXPECT_EQ(TempDirectory(), "/tmp/");
  }
  {
    ScopedTmpDir env(nullptr);
    EXPECT_EQ(TempDirectory(), "/tmp/");
  }
  {
    ScopedTmpDir env("");
    EXPECT_EQ(TempDirectory(), "/tmp/");
  }
}

TEST(TempFileTest, CreateTempFileNameMakesAnEmptyFileWithThePrefix) {
  std::string name = CreateTempFileName();
  ASSERT_FALSE(name.empty());
  EXPECT_TRUE(StartsWith(name, TempDirectory() + "~mr")) << name;
  EXPECT_EQ(name.size(), TempDirectory().size() + 3 + 6);
  EXPECT_TRUE(FileExists(name));
  File f;
  ASSERT_TRUE(f.Open(name, Access::Read, Share::Exclusive));  // nobody holds it open
  EXPECT_EQ(f.Size(), 0);
  f.Close();

  std::string other = CreateTempFileName();
  EXPECT_NE(other, name);
  std::string custom = CreateTempFileName("ox");
  EXPECT_TRUE(StartsWith(custom, TempDirectory() + "ox")) << custom;

  EXPECT_TRUE(DeleteFile(name));
  EXPECT_TRUE(DeleteFile(other));
  EXPECT_TRUE(DeleteFile(custom));
}

TEST(TempFileTest, CreateTempFileNameInTmpdir) {
  ScratchDir dir;
  ScopedTmpDir env(dir.Path().c_str());
  std::string name = CreateTempFileName();
  EXPECT_TRUE(StartsWith(name, dir.Path() + "~mr")) << name;
  EXPECT_TRUE(FileExists(name));
}

TEST(FileMappingTest, WriteThroughMappingIsSeenByRead) {
  ScratchDir dir;
  File f;
  ASSERT_TRUE(f.Create(dir / "map.dat", Share::Exclusive));
  const size_t page = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
  ASSERT_TRUE(f.Truncate(3 * page));

  FileMapping m;
  ASSERT_TRUE(m.Map(f, page, page, true));
  ASSERT_NE(m.Data(), nullptr);
  EXPECT_EQ(m.Length(), page);
  std::memcpy(m.Data() + 10, "mapped", 6);
  EXPECT_TRUE(m.Flush());

  char buf[6] = {};
  ASSERT_TRUE(f.ReadExact(page + 10, buf, 6));
  EXPECT_EQ(std::string(buf, 6), "mapped");

  // And the other way round: a write through the file shows in the mapping.
  ASSERT_TRUE(f.WriteExact(page + 100, "written", 7));
  EXPECT_EQ(std::memcmp(m.Data() + 100, "written", 7), 0);

  m.Unmap();
  EXPECT_EQ(m.Data(), nullptr);
  EXPECT_EQ(m.Length(), 0u);
}

TEST(FileMappingTest, ReadOnlyMappingAndMove) {
  ScratchDir dir;
  File f;
  ASSERT_TRUE(f.Create(dir / "map.dat", Share::Exclusive));
  std::vector<char> data(8192, 'q');
  ASSERT_TRUE(f.WriteExact(0, data.data(), data.size()));
  FileMapping a;
  ASSERT_TRUE(a.Map(f, 0, data.size(), false));
  EXPECT_EQ(a.Data()[4000], 'q');
  uint8_t* p = a.Data();
  FileMapping b(std::move(a));
  EXPECT_EQ(a.Data(), nullptr);
  EXPECT_EQ(b.Data(), p);
  FileMapping c;
  c = std::move(b);
  EXPECT_EQ(c.Data(), p);
  EXPECT_EQ(c.Length(), data.size());
}

TEST(FileMappingTest, BadRequestsFail) {
  ScratchDir dir;
  File f;
  FileMapping m;
  EXPECT_FALSE(m.Map(f, 0, 4096, false));  // not open
  ASSERT_TRUE(f.Create(dir / "map.dat", Share::Exclusive));
  ASSERT_TRUE(f.Truncate(65536));
  EXPECT_FALSE(m.Map(f, 1, 4096, false));  // offset not on a page
  EXPECT_FALSE(m.Map(f, 0, 0, false));     // nothing to map
  EXPECT_EQ(m.Data(), nullptr);
  EXPECT_TRUE(m.Flush());  // nothing mapped: nothing to do
}
