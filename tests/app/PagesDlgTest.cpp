#include "app/PagesDlg.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>

#include "AppTestSupport.h"
#include "app/LogBook.h"
#include "app/OxApplication.h"

namespace {

class PagesDlgTest : public ::testing::Test {
 protected:
  void SetUp() override {
    LogBook = std::make_unique<TLogBook>();
    LogBook->ExitPauseMs = 0;
    LogBook->SetFileName("LogBook.Log");
    TestApp().OnException = nullptr;
  }
  void TearDown() override {
    LogBook.reset();
    TestApp().OnException = nullptr;
  }
  TempDir Dir;
  RecordedBoxes Boxes;
};

TEST_F(PagesDlgTest, HasTheApplicationsTitleSizeAndFrame) {
  TPagesDlg dlg;
  EXPECT_EQ(dlg.windowTitle(), "ox");
  EXPECT_EQ(dlg.size(), QSize(622, 570));
  EXPECT_EQ(dlg.minimumSize(), QSize(600, 500));
  ASSERT_NE(dlg.frmMain, nullptr);
  EXPECT_EQ(dlg.centralWidget(), dlg.frmMain);
  EXPECT_EQ(dlg.frmMain->objectName(), "frmMain");
}

TEST_F(PagesDlgTest, OpensCentredOnTheScreen) {
  TPagesDlg dlg;
  QPoint screenCentre = QGuiApplication::primaryScreen()->availableGeometry().center();
  QPoint windowCentre = dlg.geometry().center();
  EXPECT_LE((screenCentre - windowCentre).manhattanLength(), 2);
}

TEST_F(PagesDlgTest, CreationInstallsTheExceptionHandler) {
  ASSERT_FALSE(TestApp().OnException);
  TPagesDlg dlg;
  EXPECT_TRUE(TestApp().OnException);
}

TEST_F(PagesDlgTest, InitialisesOnTheFirstShowingOnly) {
  TPagesDlg dlg;
  EXPECT_TRUE(ReadFile("LogBook.Log").empty());
  dlg.show();
  dlg.hide();
  dlg.show();
  EXPECT_EQ(WithoutTimes(ReadFile("LogBook.Log")), LogLine("Initialize."));
}

TEST_F(PagesDlgTest, StopsBeingTheMainWindowWhenDestroyed) {
  auto dlg = std::make_unique<TPagesDlg>();
  PagesDlg = dlg.get();
  dlg.reset();
  EXPECT_EQ(PagesDlg, nullptr);
}

}  // namespace
