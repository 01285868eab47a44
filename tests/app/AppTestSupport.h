// Shared pieces of the application tests: the one GUI application of the test program, a
// temporary working directory, recorded message boxes and log file helpers.
#pragma once

#include <string>
#include <vector>

#include "app/MessageBoxes.h"

class TOxApplication;

// The test program's application object (created offscreen before the first test).
TOxApplication& TestApp();

// Creates a fresh directory, makes it the current directory, and undoes both at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& Path() const { return FPath; }

 private:
  std::string FPath;
  std::string FPrevious;
};

// Message boxes that record instead of showing; installed for their lifetime.
class RecordedBoxes : public TMessageBoxes {
 public:
  struct Box {
    std::string Kind;  // "message", "error", "warning", "confirm"
    std::string Text;
    bool operator==(const Box&) const = default;
  };
  RecordedBoxes() { SetMessageBoxes(this); }
  ~RecordedBoxes() override { SetMessageBoxes(nullptr); }
  void ShowMessage(const std::string& text) override { Shown.push_back({"message", text}); }
  void Error(const std::string& text) override { Shown.push_back({"error", text}); }
  void Warning(const std::string& text) override { Shown.push_back({"warning", text}); }
  bool Confirm(const std::string& text) override {
    Shown.push_back({"confirm", text});
    return ConfirmAnswer;
  }
  std::vector<Box> Shown;
  bool ConfirmAnswer = true;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);
// The lines of a CR LF text; a final CR LF ends the last line.
std::vector<std::string> CrLfLines(const std::string& text);
// The text with the start date and time of a header replaced by "DATE TIME" and every
// bracketed time of a line by "[TIME]".
std::string WithoutTimes(const std::string& text);

// The exact texts of the log book's header and footer after WithoutTimes.
inline const std::string Stars48(48, '*');
inline const std::string HeaderText =
    Stars48 + "\r\n*  Application started at DATE TIME  *\r\n" + Stars48 + "\r\n\r\n";
inline const std::string FooterText = Stars48 + "\r\n\r\n";
inline std::string LogLine(const std::string& message) {
  return "[LOG]      : [TIME] " + message + "\r\n";
}
inline std::string ErrorLine(const std::string& message) {
  return "[ERROR]    : [TIME] " + message + "\r\n";
}
