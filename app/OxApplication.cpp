#include "app/OxApplication.h"

#include <QWidget>

#include "app/MessageBoxes.h"
#include "platform/Exception.h"

TOxApplication::TOxApplication(int& argc, char** argv) : QApplication(argc, argv) {}

TOxApplication* TOxApplication::Instance() {
  return qobject_cast<TOxApplication*>(QCoreApplication::instance());
}

bool TOxApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const EAbort&) {
  } catch (const std::exception& e) {
    HandleException(receiver, e);
  } catch (...) {
    HandleException(receiver, Exception("Unknown exception."));
  }
  return false;
}

void TOxApplication::HandleException(QObject* sender, const std::exception& e) {
  try {
    if (OnException) {
      OnException(sender, e);
    } else {
      MessageBoxes().Error(e.what());
    }
  } catch (const std::exception& failure) {
    // The handler itself failed (say, the log cannot be written): an exception must not
    // leave notify(), so report the failure and end the run instead.
    MessageBoxes().Error(failure.what());
    Terminate();
  }
}

void TOxApplication::Run(QWidget& mainWindow) {
  mainWindow.show();
  if (!FTerminated) exec();
  FTerminated = false;
}

void TOxApplication::Terminate() {
  FTerminated = true;
  QCoreApplication::exit(0);
}
