// The main window: hosts the menu composer frame and installs the handler of exceptions
// that escape event handlers.
#pragma once

#include <QMainWindow>

class QShowEvent;

class TPagesDlg : public QMainWindow {
  Q_OBJECT

 public:
  explicit TPagesDlg(QWidget* parent = nullptr);
  ~TPagesDlg() override;

  // The composer frame, filling the client area.
  QWidget* frmMain;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void FormCreate();
  void FormShow();
  // Initialises the composer frame on the first showing; the frame has nothing to set up yet.
  void InitFrame() {}

  bool FShown = false;
};

// The application's main window while the application runs, otherwise nullptr.
extern TPagesDlg* PagesDlg;
