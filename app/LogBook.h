// The application's log book: one text file of time-stamped lines per run, opened, appended
// to and closed for every line so that each line survives a crash. One instance per process.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>

#include "platform/Format.h"
#include "platform/Object.h"
#include "platform/StringList.h"

// Levels of a log line.
inline constexpr int llLog = 0;
inline constexpr int llError = 1;

class TLogBook : public TObject {
 public:
  // Raises Exception("LogBook already exists!.") while another instance lives.
  TLogBook();
  // Saves a non-empty Buffer over FileName, then pauses ExitPauseMs.
  ~TLogBook() override;
  TLogBook(const TLogBook&) = delete;
  TLogBook& operator=(const TLogBook&) = delete;

  void SetFileName(const std::string& name) { FileName = name; }
  void Log(const std::string& message, int level);
  void LogFmt(std::string_view fmt, std::initializer_list<FormatArg> args, int level);
  void WriteHeader();
  void WriteFooter();
  // Appends `line` and CR LF to the file, or every line of Buffer when `line` is empty.
  // Raises EInOutError when the file cannot be written; the file is closed first.
  void WriteLine(const std::string& line);

  // Called with every raw message handed to Log, before anything else.
  std::function<void(const std::string&)> OnLog;
  std::string FileName;
  std::string ExePath;  // always ends in a path delimiter
  std::string LastLine;
  TStringList Buffer;  // the lines kept while WriteImmediately is false
  bool ShowErrors = false;
  bool WriteImmediately = true;
  bool Disabled = false;
  // Lets the last lines settle before the process ends; tests set 0.
  uint32_t ExitPauseMs = 1000;

 private:
  static TLogBook* FInstance;
};

// The process's log book, created before the main sequence and destroyed after it.
extern std::unique_ptr<TLogBook> LogBook;
