// The application's message boxes behind one replaceable interface, so that code which asks
// the user something can run unattended (tests install their own implementation).
// Every text is Windows-1250; the Qt implementation converts it for display.
#pragma once

#include <string>

class TMessageBoxes {
 public:
  virtual ~TMessageBoxes() = default;
  // A plain box with the application's title and an OK button.
  virtual void ShowMessage(const std::string& text) = 0;
  virtual void Error(const std::string& text) = 0;
  virtual void Warning(const std::string& text) = 0;
  // A Yes/No question; true for Yes.
  virtual bool Confirm(const std::string& text) = 0;
};

// The boxes in use: the Qt dialogs unless replaced.
TMessageBoxes& MessageBoxes();
// Replaces the boxes; nullptr restores the Qt dialogs. The caller keeps ownership and must
// restore the default before `boxes` is destroyed.
void SetMessageBoxes(TMessageBoxes* boxes);
