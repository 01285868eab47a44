// Runs the real program as a child process offscreen; OX_QUIT_AFTER_MS closes its windows.
#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <filesystem>

#include "AppTestSupport.h"
#include "platform/SystemInfo.h"

namespace {

// The test program is build/tests/test_app and the program build/ox.
std::filesystem::path ProgramPath() {
  return std::filesystem::path(platform::ExecutableDirectory()) / ".." / "ox";
}

struct RunResult {
  int ExitCode = -1;
  std::string StdErr;
};

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(std::filesystem::exists(ProgramPath()))
        << "build the ox target first: " << ProgramPath();
  }

  RunResult Run(const QStringList& args, const QProcessEnvironment& env) {
    QProcess process;
    process.setProgram(QString::fromStdString(ProgramPath().string()));
    process.setArguments(args);
    process.setWorkingDirectory(QString::fromStdString(Dir.Path()));
    process.setProcessEnvironment(env);
    process.start();
    EXPECT_TRUE(process.waitForStarted());
    // A generous bound so that a hung program fails the test instead of blocking it.
    if (!process.waitForFinished(120000)) {
      process.kill();
      process.waitForFinished();
      ADD_FAILURE() << "the program did not end";
    }
    RunResult result;
    if (process.exitStatus() == QProcess::NormalExit) result.ExitCode = process.exitCode();
    result.StdErr = process.readAllStandardError().toStdString();
    return result;
  }

  static QProcessEnvironment Offscreen() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("OX_QUIT_AFTER_MS", "50");
    return env;
  }

  static std::string StartLines() {
    std::string dir = std::filesystem::canonical(ProgramPath()).parent_path().string() + "/";
    return HeaderText + LogLine("Application path: " + dir) + LogLine("Load Captions") +
           LogLine("Create MainForm") + LogLine("Create DataModul");
  }

  TempDir Dir;
};

TEST_F(ProgramTest, ARunLeavesItsLogBookAndCaptions) {
  RunResult result = Run({}, Offscreen());
  EXPECT_EQ(result.ExitCode, 0) << result.StdErr;
  EXPECT_EQ(WithoutTimes(ReadFile("LogBook.Log")),
            StartLines() + LogLine("Initialize.") + LogLine("Save Captions") + FooterText);
  EXPECT_EQ(CrLfLines(ReadFile("ox.cap")).size(), 31u);
}

TEST_F(ProgramTest, ATransferRunWritesTwoFooters) {
  RunResult result = Run({"TRANSFER"}, Offscreen());
  EXPECT_EQ(result.ExitCode, 0) << result.StdErr;
  EXPECT_EQ(WithoutTimes(ReadFile("LogBook.Log")),
            StartLines() + LogLine("Transfer begin...") + LogLine("Transfer finished.") +
                FooterText + LogLine("Initialize.") + LogLine("Save Captions") + FooterText);
}

TEST_F(ProgramTest, WithoutADisplayItExplainsHowToStart) {
  QProcessEnvironment env = Offscreen();
  env.remove("QT_QPA_PLATFORM");
  env.remove("DISPLAY");
  env.remove("WAYLAND_DISPLAY");
  RunResult result = Run({}, env);
  EXPECT_EQ(result.ExitCode, 1);
  EXPECT_NE(result.StdErr.find("no display"), std::string::npos) << result.StdErr;
  EXPECT_NE(result.StdErr.find("xvfb-run -a "), std::string::npos) << result.StdErr;
  EXPECT_FALSE(std::filesystem::exists("LogBook.Log"));
}

}  // namespace
