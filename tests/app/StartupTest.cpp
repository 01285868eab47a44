#include <gtest/gtest.h>

#include <QTimer>
#include <filesystem>

#include "AppTestSupport.h"
#include "app/Application.h"
#include "app/Captions.h"
#include "app/LogBook.h"
#include "app/OxApplication.h"
#include "app/PagesDlg.h"
#include "platform/Exception.h"
#include "platform/SystemInfo.h"

namespace {

// Runs the whole start-up and shutdown sequence in-process, in a fresh directory, with
// recorded message boxes.
class StartupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetCaptions();
    LogBook = std::make_unique<TLogBook>();
    LogBook->ExitPauseMs = 0;
    // Ends a run that would otherwise wait for a user; no test relies on it firing.
    Safety.setSingleShot(true);
    QObject::connect(&Safety, &QTimer::timeout, [] { QApplication::closeAllWindows(); });
  }
  void TearDown() override {
    LogBook.reset();
    TestApp().OnException = nullptr;
    ResetCaptions();
  }

  // Runs with the main window closed as soon as the message loop runs.
  int RunAndClose(const std::vector<std::string>& args) {
    QTimer closer;
    closer.setSingleShot(true);
    QObject::connect(&closer, &QTimer::timeout, [] {
      if (PagesDlg) PagesDlg->close();
    });
    closer.start(0);
    return Run(args);
  }
  int Run(const std::vector<std::string>& args) {
    Safety.start(60000);
    int code = RunApplication(TestApp(), args);
    Safety.stop();
    return code;
  }
  static std::string Log() { return WithoutTimes(ReadFile("LogBook.Log")); }
  static std::string StartLines() {
    return HeaderText + LogLine("Application path: " + platform::ExecutableDirectory()) +
           LogLine("Load Captions") + LogLine("Create MainForm") + LogLine("Create DataModul");
  }

  TempDir Dir;
  RecordedBoxes Boxes;
  QTimer Safety;
};

TEST_F(StartupTest, ARunLogsEveryStepAndSavesTheCaptions) {
  WriteFile("LogBook.Log", "an earlier run\r\n");
  EXPECT_EQ(RunAndClose({}), 0);
  EXPECT_EQ(Log(), StartLines() + LogLine("Initialize.") + LogLine("Save Captions") + FooterText);
  auto captions = CrLfLines(ReadFile("ox.cap"));
  ASSERT_EQ(captions.size(), 31u);
  EXPECT_EQ(captions.front(), "E_Create_DataBase=Blad polecznia z baza danych.");
  EXPECT_EQ(captions.back(), "Lb_Stosunek=Stosunek");
  EXPECT_TRUE(Boxes.Shown.empty());
  EXPECT_EQ(PagesDlg, nullptr);
}

TEST_F(StartupTest, StartingTwiceLeavesOnlyTheSecondRun) {
  RunAndClose({});
  RunAndClose({});
  EXPECT_EQ(Log(), StartLines() + LogLine("Initialize.") + LogLine("Save Captions") + FooterText);
}

TEST_F(StartupTest, CaptionsAreLoadedAtStartAndWrittenBackAtExit) {
  WriteFile("ox.cap", "no_menu=Mine\r\nE_Create_Query=changed\r\n");
  RunAndClose({});
  EXPECT_EQ(No_Menu, "Mine");
  auto captions = CrLfLines(ReadFile("ox.cap"));
  ASSERT_EQ(captions.size(), 31u);
  EXPECT_EQ(captions[3], "E_Create_Query=Blad polaczenia z tabela %s.");
  EXPECT_EQ(captions[13], "No_Menu=Mine");
  EXPECT_EQ(captions[29], "Lb_Ilosc=");
}

TEST_F(StartupTest, TheFirstArgumentTransferRunsTheImportFirst) {
  struct Case {
    std::vector<std::string> Args;
    bool Transfer;
  };
  const Case cases[] = {
      {{"transfer"}, true},          {{"TRANSFER"}, true},   {{"Transfer", "more"}, true},
      {{"more", "transfer"}, false}, {{"transfers"}, false}, {{}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Args.empty() ? std::string("no arguments") : c.Args.front());
    Boxes.Shown.clear();
    EXPECT_EQ(RunAndClose(c.Args), 0);
    if (c.Transfer) {
      EXPECT_EQ(Log(), StartLines() + LogLine("Transfer begin...") + LogLine("Transfer finished.") +
                           FooterText + LogLine("Initialize.") + LogLine("Save Captions") +
                           FooterText);
      EXPECT_EQ(Boxes.Shown, (std::vector<RecordedBoxes::Box>{{"message", "Transfer finished."}}));
    } else {
      EXPECT_EQ(Log(),
                StartLines() + LogLine("Initialize.") + LogLine("Save Captions") + FooterText);
      EXPECT_TRUE(Boxes.Shown.empty());
    }
    EXPECT_EQ(CrLfLines(ReadFile("ox.cap")).size(), 31u);
  }
}

TEST_F(StartupTest, AnExceptionFromAHandlerIsLoggedShownAndEndsTheRun) {
  QTimer failing;
  failing.setSingleShot(true);
  QObject::connect(&failing, &QTimer::timeout, [] { throw Exception("Boom \xB9\xEA"); });
  failing.start(0);
  EXPECT_EQ(Run({}), 0);
  EXPECT_EQ(Log(), StartLines() + LogLine("Initialize.") + ErrorLine("Boom \xB9\xEA") +
                       LogLine("Save Captions") + FooterText);
  EXPECT_EQ(Boxes.Shown, (std::vector<RecordedBoxes::Box>{{"message", "Boom \xB9\xEA"}}));
  EXPECT_EQ(CrLfLines(ReadFile("ox.cap")).size(), 31u);
}

TEST_F(StartupTest, AStandardExceptionFromAHandlerIsHandledLikeAnyOther) {
  QTimer failing;
  failing.setSingleShot(true);
  QObject::connect(&failing, &QTimer::timeout, [] { throw std::runtime_error("std failure"); });
  failing.start(0);
  Run({});
  EXPECT_EQ(Log(), StartLines() + LogLine("Initialize.") + ErrorLine("std failure") +
                       LogLine("Save Captions") + FooterText);
  EXPECT_EQ(Boxes.Shown.size(), 1u);
}

TEST_F(StartupTest, AnAbortFromAHandlerIsSilentAndTheRunGoesOn) {
  QTimer aborting;
  aborting.setSingleShot(true);
  QObject::connect(&aborting, &QTimer::timeout, [] {
    QTimer::singleShot(0, PagesDlg, &QWidget::close);
    throw EAbort("Operation aborted");
  });
  aborting.start(0);
  Run({});
  EXPECT_EQ(Log(), StartLines() + LogLine("Initialize.") + LogLine("Save Captions") + FooterText);
  EXPECT_TRUE(Boxes.Shown.empty());
}

TEST_F(StartupTest, AnExceptionWhileTheMainWindowIsFirstShownEndsTheRun) {
  LogBook->OnLog = [](const std::string& message) {
    if (message == "Initialize.") throw Exception("Init failed");
  };
  Run({});
  EXPECT_EQ(Log(), StartLines() + ErrorLine("Init failed") + LogLine("Save Captions") + FooterText);
  EXPECT_EQ(Boxes.Shown, (std::vector<RecordedBoxes::Box>{{"message", "Init failed"}}));
}

TEST_F(StartupTest, AnExceptionOutsideTheMessageLoopReachesTheCaller) {
  LogBook->OnLog = [](const std::string& message) {
    if (message == "Create MainForm") throw Exception("Too early");
  };
  try {
    Run({});
    FAIL() << "the exception was swallowed";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Too early");
  }
  EXPECT_EQ(Log(), HeaderText + LogLine("Application path: " + platform::ExecutableDirectory()) +
                       LogLine("Load Captions"));
  EXPECT_FALSE(std::filesystem::exists("ox.cap"));
  EXPECT_TRUE(Boxes.Shown.empty());
  EXPECT_EQ(PagesDlg, nullptr);
}

TEST_F(StartupTest, AFailingHandlerIsReportedAndStillEndsTheRun) {
  // The log book refuses the error line, so the handler itself fails.
  LogBook->OnLog = [](const std::string& message) {
    if (message == "Boom") throw Exception("Log refused");
  };
  QTimer failing;
  failing.setSingleShot(true);
  QObject::connect(&failing, &QTimer::timeout, [] { throw Exception("Boom"); });
  failing.start(0);
  Run({});
  EXPECT_EQ(Log(), StartLines() + LogLine("Initialize.") + LogLine("Save Captions") + FooterText);
  EXPECT_EQ(Boxes.Shown, (std::vector<RecordedBoxes::Box>{{"error", "Log refused"}}));
}

}  // namespace
