// The GUI application object. It routes every exception that escapes an event handler to
// one handler (the silent EAbort is dropped) and keeps a "terminated" request that also
// holds when it is made before the message loop runs.
#pragma once

#include <QApplication>
#include <exception>
#include <functional>

class TOxApplication : public QApplication {
  Q_OBJECT

 public:
  using TExceptionHandler = std::function<void(QObject* sender, const std::exception& e)>;

  TOxApplication(int& argc, char** argv);

  // The running TOxApplication, or nullptr when the application object is another kind.
  static TOxApplication* Instance();

  bool notify(QObject* receiver, QEvent* event) override;

  // Shows the main window, then runs the message loop until Terminate is called or the
  // last window closes; the loop does not start when termination was asked for already.
  // Afterwards the application can be run again.
  void Run(QWidget& mainWindow);
  void Terminate();
  bool Terminated() const { return FTerminated; }

  // Without a handler an escaped exception is only shown in an error box.
  TExceptionHandler OnException;

 private:
  void HandleException(QObject* sender, const std::exception& e);

  bool FTerminated = false;
};
