// Entry point of the menu composer.
//
// OX_QUIT_AFTER_MS: when set to a number of milliseconds, every window is closed after that
// time (and again at that interval), so that scripts and tests can run the program
// unattended under an offscreen or virtual display.

#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/AppInfo.h"
#include "app/Application.h"
#include "app/LogBook.h"
#include "app/MessageBoxes.h"
#include "app/OxApplication.h"
#include "platform/CodePage.h"

namespace {

bool HasDisplay() {
  auto set = [](const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
  };
  return set("QT_QPA_PLATFORM") || set("DISPLAY") || set("WAYLAND_DISPLAY");
}

void CloseWindowsPeriodically(TOxApplication& app) {
  const char* value = std::getenv("OX_QUIT_AFTER_MS");
  if (value == nullptr || *value == '\0') return;
  char* end = nullptr;
  long ms = std::strtol(value, &end, 10);
  if (*end != '\0' || ms < 0 || ms > 24L * 3600 * 1000) return;
  // Parent-owned: the timer dies with the application object.
  auto* timer = new QTimer(&app);
  QObject::connect(timer, &QTimer::timeout, [] { QApplication::closeAllWindows(); });
  timer->start(static_cast<int>(ms));
}

int Run(int argc, char** argv) {
  TOxApplication app(argc, argv);
  app.setApplicationName(AppTitle);
  CloseWindowsPeriodically(app);
  std::vector<std::string> args(argv + 1, argv + argc);
  try {
    return RunApplication(app, args);
  } catch (const std::exception& e) {
    // Outside the message loop nothing handles an exception: report it and end the run.
    std::fprintf(stderr, "%s: %s\n", AppTitle, platform::Cp1250ToUtf8(e.what()).c_str());
    MessageBoxes().Error(e.what());
    return 1;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (!HasDisplay()) {
    std::fprintf(stderr,
                 "%s: no display found (neither DISPLAY nor WAYLAND_DISPLAY is set).\n"
                 "Start it under a virtual display: xvfb-run -a %s\n",
                 AppTitle, argv[0]);
    return 1;
  }
  LogBook = std::make_unique<TLogBook>();
  int code = Run(argc, argv);
  LogBook.reset();
  return code;
}
