#include "platform/SystemInfo.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <regex>
#include <string>

#include "platform/File.h"

using namespace platform;

TEST(SystemInfoTest, CurrentUserName) {
  struct passwd* pw = ::getpwuid(::geteuid());
  ASSERT_NE(pw, nullptr);
  EXPECT_EQ(CurrentUserName(), pw->pw_name);
}

TEST(SystemInfoTest, CurrentComputerName) {
  char name[256] = {};
  ASSERT_EQ(::gethostname(name, sizeof name - 1), 0);
  EXPECT_EQ(CurrentComputerName(), name);
}

TEST(SystemInfoTest, OSDescription) {
  std::string d = OSDescription();
  EXPECT_TRUE(std::regex_match(d, std::regex(R"(XX:  3\.\d+\.\d+\.\d+  \S.*)"))) << d;
  struct utsname u;
  ASSERT_EQ(::uname(&u), 0);
  int major = 0, minor = 0, patch = 0;
  std::sscanf(u.release, "%d.%d.%d", &major, &minor, &patch);
  char expected[300];
  std::snprintf(expected, sizeof expected, "XX:  3.%d.%d.%d  %s", major, minor, patch, u.sysname);
  EXPECT_EQ(d, expected);
}

TEST(SystemInfoTest, ErrorTexts) {
  EXPECT_EQ(ErrorText(ENOENT), "No such file or directory");
  EXPECT_EQ(ErrorText(EACCES), "Permission denied");
  EXPECT_EQ(ErrorText(987654), "The error type could not be determined");
  EXPECT_EQ(ErrorText(-3), "The error type could not be determined");
  errno = EWOULDBLOCK;
  EXPECT_EQ(LastErrorText(), ErrorText(EWOULDBLOCK));
  EXPECT_FALSE(LastErrorText().empty());
}

TEST(SystemInfoTest, TickCountFollowsSleep) {
  uint32_t start = TickCount();
  SleepMs(50);
  uint32_t elapsed = TickCount() - start;  // wraps like the Windows tick count
  EXPECT_GE(elapsed, 50u);
  EXPECT_LT(elapsed, 5000u);
  SleepMs(0);
}

TEST(SystemInfoTest, ExecutableDirectory) {
  std::string dir = ExecutableDirectory();
  ASSERT_FALSE(dir.empty());
  EXPECT_EQ(dir.front(), '/');
  EXPECT_EQ(dir.back(), PathDelimiter);
  EXPECT_TRUE(FileExists(dir + "test_platform"));
}
