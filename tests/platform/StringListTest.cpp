#include "platform/StringList.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/Exception.h"

namespace {

namespace fs = std::filesystem;

class TempDir {
 public:
  TempDir() {
    FPath = fs::temp_directory_path() /
            ("oxsl-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(FPath);
    fs::create_directories(FPath);
  }
  ~TempDir() { fs::remove_all(FPath); }
  std::string File(const std::string& name) const { return (FPath / name).string(); }

 private:
  fs::path FPath;
};

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(StringListTest, NameValueLookUpIgnoresCaseAndSplitsAtFirstEquals) {
  TStringList list;
  list.Add("Caption=Dania");
  list.Add("no equals sign");
  list.Add("Formula=a=b+c");
  list.Add("=empty name");
  list.Add("Empty=");

  EXPECT_EQ(list.IndexOfName("CAPTION"), 0);
  EXPECT_EQ(list.Values("caption"), "Dania");
  EXPECT_EQ(list.Values("formula"), "a=b+c");
  EXPECT_EQ(list.Names(2), "Formula");
  EXPECT_EQ(list.ValueFromIndex(2), "a=b+c");
  EXPECT_EQ(list.Names(1), "");
  EXPECT_EQ(list.ValueFromIndex(1), "");
  EXPECT_EQ(list.IndexOfName("no equals sign"), -1);
  EXPECT_EQ(list.IndexOfName(""), 3);
  EXPECT_EQ(list.Values(""), "empty name");
  EXPECT_EQ(list.IndexOfName("Empty"), 4);
  EXPECT_EQ(list.Values("Empty"), "");
  EXPECT_EQ(list.Values("absent"), "");
  EXPECT_EQ(list.IndexOfName("absent"), -1);
}

TEST(StringListTest, SetValueReplacesInPlaceOrAppends) {
  TStringList list;
  list.Add("a=1");
  list.Add("B=2");
  list.SetValue("b", "20");
  list.SetValue("c", "3");
  list.SetValue("a", "");
  EXPECT_EQ(list.Items(), (std::vector<std::string>{"a=", "b=20", "c=3"}));
}

TEST(StringListTest, EditingAndExactSearch) {
  TStringList list;
  EXPECT_EQ(list.Add("one"), 0);
  EXPECT_EQ(list.Add("three"), 1);
  list.Insert(1, "two");
  list.Insert(3, "four");
  EXPECT_EQ(list.IndexOf("two"), 1);
  EXPECT_EQ(list.IndexOf("TWO"), -1);
  list.Delete(0);
  EXPECT_EQ(list.Items(), (std::vector<std::string>{"two", "three", "four"}));
  EXPECT_THROW(list.Delete(3), Exception);
  EXPECT_THROW(list.Insert(5, "x"), Exception);
  EXPECT_THROW(list[3], std::out_of_range);
}

TEST(StringListTest, SetTextAcceptsEveryLineEnd) {
  struct Case {
    std::string Text;
    std::vector<std::string> Lines;
  };
  const std::vector<Case> cases = {
      {"", {}},
      {"a", {"a"}},
      {"a\r\n", {"a"}},
      {"a\r\nb", {"a", "b"}},
      {"a\nb\n", {"a", "b"}},
      {"a\rb\r", {"a", "b"}},
      {"a\r\n\r\nb", {"a", "", "b"}},
      {"\r\n", {""}},
      {"a\n\rb", {"a", "", "b"}},
      {"x\r\ny\nz\rw", {"x", "y", "z", "w"}},
  };
  for (const Case& c : cases) {
    TStringList list;
    list.SetText(c.Text);
    EXPECT_EQ(list.Items(), c.Lines) << "text of " << c.Text.size() << " bytes";
  }
}

TEST(StringListTest, SavesWithCrLfAndLoadsAnyLineEnd) {
  TempDir dir;
  TStringList list;
  list.Add("Nazwa=Zupa \xB9\xE6");  // Windows-1250 bytes pass through untouched
  list.Add("");
  list.Add("last");
  list.SaveToFile(dir.File("out.txt"));
  EXPECT_EQ(ReadBytes(dir.File("out.txt")), "Nazwa=Zupa \xB9\xE6\r\n\r\nlast\r\n");

  for (const char* eol : {"\r\n", "\n", "\r"}) {
    std::string e(eol);
    WriteBytes(dir.File("in.txt"), "Nazwa=Zupa \xB9\xE6" + e + e + "last" + e);
    TStringList loaded;
    loaded.Add("stale");
    loaded.LoadFromFile(dir.File("in.txt"));
    EXPECT_EQ(loaded.Items(), list.Items()) << "line end of " << e.size() << " bytes";
  }
}

TEST(StringListTest, MissingOrUnwritableFileRaisesInOutError) {
  TempDir dir;
  TStringList list;
  try {
    list.LoadFromFile(dir.File("missing.txt"));
    FAIL() << "no exception";
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.ErrorCode, ENOENT);
    EXPECT_NE(e.Message().find("missing.txt"), std::string::npos);
  }
  EXPECT_THROW(list.SaveToFile(dir.File("no-such-dir/out.txt")), EInOutError);
}

}  // namespace
