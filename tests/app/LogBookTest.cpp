#include "app/LogBook.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "AppTestSupport.h"
#include "platform/Exception.h"
#include "platform/SystemInfo.h"

namespace {

class LogBookTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(LogBook, nullptr); }
  // A log book writing "test.log" in the test's directory, without the exit pause.
  static std::unique_ptr<TLogBook> MakeLog() {
    auto log = std::make_unique<TLogBook>();
    log->ExitPauseMs = 0;
    log->SetFileName("test.log");
    return log;
  }
  TempDir Dir;
  RecordedBoxes Boxes;
};

size_t OpenDescriptors() {
  return static_cast<size_t>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                                           std::filesystem::directory_iterator()));
}

TEST_F(LogBookTest, DefaultsNameTheLogAfterTheApplicationBesideTheExecutable) {
  auto log = std::make_unique<TLogBook>();
  log->ExitPauseMs = 0;
  EXPECT_EQ(log->ExePath, platform::ExecutableDirectory());
  EXPECT_EQ(log->ExePath.back(), '/');
  EXPECT_EQ(log->FileName, log->ExePath + "ox.log");
  EXPECT_FALSE(log->ShowErrors);
  EXPECT_TRUE(log->WriteImmediately);
  EXPECT_FALSE(log->Disabled);
  EXPECT_EQ(log->ExitPauseMs, 0u);
  EXPECT_EQ(log->Buffer.Count(), 0);
}

TEST_F(LogBookTest, WritesHeaderLinesAndFooterByteExact) {
  auto log = MakeLog();
  log->WriteHeader();
  log->Log("first", llLog);
  log->Log("went wrong", llError);
  log->LogFmt("Application path: %s (%d)", {"/opt/ox/", 7}, llLog);
  log->Log("100% sure \xB9\xEA", llLog);
  log->WriteFooter();
  std::string text = ReadFile("test.log");
  EXPECT_EQ(WithoutTimes(text), HeaderText + LogLine("first") + ErrorLine("went wrong") +
                                    LogLine("Application path: /opt/ox/ (7)") +
                                    LogLine("100% sure \xB9\xEA") + FooterText);
  // The start line is 48 characters wide like the frame around it.
  EXPECT_EQ(CrLfLines(text).at(1).size(), 48u);
  EXPECT_EQ(log->LastLine, Stars48 + "\r\n");
}

TEST_F(LogBookTest, LevelTagsAreTwelveCharacters) {
  auto log = MakeLog();
  log->Log("a", llLog);
  EXPECT_EQ(log->LastLine.substr(0, 13), "[LOG]      : ");
  log->Log("b", llError);
  EXPECT_EQ(log->LastLine.substr(0, 13), "[ERROR]    : ");
  EXPECT_EQ(WithoutTimes(log->LastLine), "[ERROR]    : [TIME] b");
}

TEST_F(LogBookTest, AppendsToAnExistingFile) {
  WriteFile("test.log", "earlier\r\n");
  auto log = MakeLog();
  log->Log("later", llLog);
  EXPECT_EQ(WithoutTimes(ReadFile("test.log")), "earlier\r\n" + LogLine("later"));
}

TEST_F(LogBookTest, OnLogSeesTheRawMessageEvenWhenDisabled) {
  auto log = MakeLog();
  std::vector<std::string> seen;
  log->OnLog = [&](const std::string& message) { seen.push_back(message); };
  log->Log("one", llLog);
  log->Disabled = true;
  log->Log("two", llError);
  EXPECT_EQ(seen, (std::vector<std::string>{"one", "two"}));
  EXPECT_EQ(WithoutTimes(ReadFile("test.log")), LogLine("one"));
}

TEST_F(LogBookTest, ASecondLogBookIsRefusedWhileTheFirstLives) {
  auto first = MakeLog();
  try {
    TLogBook second;
    FAIL() << "a second log book was created";
  } catch (const EAssertionFailed&) {
    FAIL() << "wrong exception class";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "LogBook already exists!.");
  }
  first.reset();
  EXPECT_NO_THROW(MakeLog());
}

TEST_F(LogBookTest, AnEmptyFileNameFailsTheAssertion) {
  struct Case {
    const char* Name;
    void (*Call)(TLogBook&);
    const char* Message;
  };
  const Case cases[] = {
      {"Log", [](TLogBook& l) { l.Log("x", llLog); },
       "Log file name not defined ! (Log, line 109)"},
      {"LogFmt", [](TLogBook& l) { l.LogFmt("%d", {1}, llError); },
       "Log file name not defined ! (Log, line 109)"},
      {"WriteLine", [](TLogBook& l) { l.WriteLine("x"); },
       "Log file name not defined ! (Log, line 136)"},
      {"WriteHeader", [](TLogBook& l) { l.WriteHeader(); },
       "Log file name not defined ! (Log, line 136)"},
      {"WriteFooter", [](TLogBook& l) { l.WriteFooter(); },
       "Log file name not defined ! (Log, line 136)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    auto log = MakeLog();
    log->SetFileName("");
    try {
      c.Call(*log);
      ADD_FAILURE() << "no assertion";
    } catch (const EAssertionFailed& e) {
      EXPECT_EQ(e.Message(), c.Message);
    }
  }
}

TEST_F(LogBookTest, AnUnwritableLogRaisesAnInOutErrorAndLeavesNothingOpen) {
  std::filesystem::create_directory("adir");
  const char* names[] = {"missing/test.log", "adir", "/dev/full"};
  for (const char* name : names) {
    SCOPED_TRACE(name);
    auto log = MakeLog();
    log->SetFileName(name);
    size_t before = OpenDescriptors();
    EXPECT_THROW(log->Log("lost", llLog), EInOutError);
    EXPECT_THROW(log->WriteFooter(), EInOutError);
    EXPECT_EQ(OpenDescriptors(), before);
    // The log book stays usable once its file can be written again.
    log->SetFileName("test.log");
    EXPECT_NO_THROW(log->Log("kept", llLog));
  }
}

TEST_F(LogBookTest, BufferedLinesAreWrittenOnRequestAndSavedOverTheFileAtTheEnd) {
  auto log = MakeLog();
  log->WriteImmediately = false;
  log->Log("a", llLog);
  log->Log("b", llError);
  EXPECT_FALSE(std::filesystem::exists("test.log"));
  ASSERT_EQ(log->Buffer.Count(), 2);
  log->WriteLine("");
  log->WriteLine("");  // the buffer is kept, so it is written again
  EXPECT_EQ(WithoutTimes(ReadFile("test.log")),
            LogLine("a") + ErrorLine("b") + LogLine("a") + ErrorLine("b"));
  log.reset();
  EXPECT_EQ(WithoutTimes(ReadFile("test.log")), LogLine("a") + ErrorLine("b"));
}

TEST_F(LogBookTest, ErrorLinesAreShownOnlyWhenAskedFor) {
  auto log = MakeLog();
  log->Log("quiet", llError);
  EXPECT_TRUE(Boxes.Shown.empty());
  log->ShowErrors = true;
  log->Log("not an error", llLog);
  log->Log("loud", llError);
  ASSERT_EQ(Boxes.Shown.size(), 1u);
  EXPECT_EQ(Boxes.Shown[0].Kind, "error");
  EXPECT_EQ(WithoutTimes(Boxes.Shown[0].Text), "[ERROR]    : [TIME] loud");
}

}  // namespace
