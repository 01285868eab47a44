// The program's start-up and shutdown sequence and its handler of unhandled exceptions.
#pragma once

#include <exception>
#include <string>
#include <vector>

class QObject;
class TOxApplication;

// Runs the program from the log book's start to its footer in the current directory:
// starts the log book, loads the captions, creates the main window, runs the product
// import when the first argument is "transfer" (any case), runs the message loop, then
// saves the captions and writes the footer. `args` are the command-line arguments without
// the program name. The global LogBook must exist. An exception raised outside the
// message loop's event handlers propagates to the caller.
int RunApplication(TOxApplication& app, const std::vector<std::string>& args);

// The handler of every exception that escapes an event handler: logs the message as an
// error, shows it, and ends the run.
void AppException(QObject* sender, const std::exception& e);
