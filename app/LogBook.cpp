#include "app/LogBook.h"

#include <cerrno>
#include <cstdio>

#include "app/AppInfo.h"
#include "app/MessageBoxes.h"
#include "platform/DateTime.h"
#include "platform/Exception.h"
#include "platform/SystemInfo.h"

std::unique_ptr<TLogBook> LogBook;

TLogBook* TLogBook::FInstance = nullptr;

namespace {

const std::string Stars(48, '*');

[[noreturn]] void RaiseWriteError(const std::string& fileName, int error) {
  throw EInOutError(
      Format("Cannot write the log file \"%s\". %s", {fileName, platform::ErrorText(error)}),
      error);
}

}  // namespace

TLogBook::TLogBook() {
  if (FInstance) throw Exception("LogBook already exists!.");
  ExePath = platform::ExecutableDirectory();
  if (ExePath.empty() || ExePath.back() != platform::PathDelimiter)
    ExePath += platform::PathDelimiter;
  FileName = ExePath + AppTitle + ".log";
  FInstance = this;
}

TLogBook::~TLogBook() {
  if (Buffer.Count() > 0) {
    try {
      Buffer.SaveToFile(FileName);
    } catch (const Exception&) {
      // Nobody is left to tell at this point.
    }
  }
  platform::SleepMs(ExitPauseMs);
  FInstance = nullptr;
}

void TLogBook::Log(const std::string& message, int level) {
  if (OnLog) OnLog(message);
  if (Disabled) return;
  if (FileName.empty()) AssertFailed("Log file name not defined !", "Log", 109);
  const char* tag = level == llError ? "[ERROR]    :" : "[LOG]      :";
  LastLine = Format("%s [%s] %s", {tag, TimeToStr(Now()), message});
  if (WriteImmediately) {
    WriteLine(LastLine);
  } else {
    Buffer.Add(LastLine);
  }
  if (ShowErrors && level == llError) MessageBoxes().Error(LastLine);
}

void TLogBook::LogFmt(std::string_view fmt, std::initializer_list<FormatArg> args, int level) {
  Log(Format(fmt, args), level);
}

void TLogBook::WriteHeader() {
  TDateTime now = Now();
  LastLine = Format(
      "************************************************\r\n"
      "*  Application started at %s  *\r\n"
      "************************************************\r\n",
      {DateToStr(now) + " " + TimeToStr(now)});
  WriteLine(LastLine);
}

void TLogBook::WriteFooter() {
  LastLine = Stars + "\r\n";
  WriteLine(LastLine);
}

void TLogBook::WriteLine(const std::string& line) {
  if (FileName.empty()) AssertFailed("Log file name not defined !", "Log", 136);
  std::FILE* file = std::fopen(FileName.c_str(), "ab");
  if (!file) RaiseWriteError(FileName, errno);
  std::string text;
  if (!line.empty()) {
    text = line + "\r\n";
  } else {
    text = Buffer.Text();
  }
  int error = 0;
  errno = 0;
  if (std::fwrite(text.data(), 1, text.size(), file) != text.size() || std::fflush(file) != 0)
    error = errno ? errno : EIO;
  if (std::fclose(file) != 0 && error == 0) error = errno ? errno : EIO;
  if (error != 0) RaiseWriteError(FileName, error);
}
