#include "app/PagesDlg.h"

#include <QGuiApplication>
#include <QScreen>
#include <QShowEvent>

#include "app/AppInfo.h"
#include "app/Application.h"
#include "app/LogBook.h"
#include "app/OxApplication.h"

TPagesDlg* PagesDlg = nullptr;

TPagesDlg::TPagesDlg(QWidget* parent) : QMainWindow(parent), frmMain(new QWidget(this)) {
  setWindowTitle(QString::fromLatin1(AppTitle));
  frmMain->setObjectName("frmMain");
  setCentralWidget(frmMain);
  setMinimumSize(600, 500);
  resize(622, 570);
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect frame = geometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
  }
  FormCreate();
}

TPagesDlg::~TPagesDlg() {
  if (PagesDlg == this) PagesDlg = nullptr;
}

void TPagesDlg::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  // Only the first showing by the program initialises; a restore by the window system or a
  // second show must not set the frame up again.
  if (event->spontaneous() || FShown) return;
  FShown = true;
  FormShow();
}

void TPagesDlg::FormCreate() {
  if (TOxApplication* app = TOxApplication::Instance()) app->OnException = AppException;
}

void TPagesDlg::FormShow() {
  if (LogBook) LogBook->Log("Initialize.", llLog);
  InitFrame();
}
