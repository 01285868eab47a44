#include "app/Application.h"

#include <memory>

#include "app/AppInfo.h"
#include "app/Captions.h"
#include "app/LogBook.h"
#include "app/MessageBoxes.h"
#include "app/OxApplication.h"
#include "app/PagesDlg.h"
#include "app/Transfer.h"
#include "platform/Exception.h"
#include "platform/File.h"
#include "platform/SystemInfo.h"

namespace {

// Creates the data module; it connects nothing until the frame initialises.
void CreateDataModul() {}

// Creates the dish dialogs, hidden: frmDanie, frmLadujDanie, Frm_Przepis.
void CreateDialogs() {}

bool IsTransferRun(const std::vector<std::string>& args) {
  if (args.empty()) return false;
  std::string first = args.front();
  for (char& c : first)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return first == "transfer";
}

}  // namespace

int RunApplication(TOxApplication& app, const std::vector<std::string>& args) {
  if (!LogBook) throw Exception("LogBook does not exist.");
  TLogBook& log = *LogBook;
  log.SetFileName(LogBookFileName);
  if (platform::FileExists(LogBookFileName)) platform::DeleteFile(LogBookFileName);
  log.WriteHeader();
  log.LogFmt("Application path: %s", {platform::ExecutableDirectory()}, llLog);

  log.Log("Load Captions", llLog);
  LoadCaptions();

  log.Log("Create MainForm", llLog);
  auto mainForm = std::make_unique<TPagesDlg>();
  PagesDlg = mainForm.get();

  log.Log("Create DataModul", llLog);
  CreateDataModul();
  CreateDialogs();

  if (IsTransferRun(args)) {
    log.Log("Transfer begin...", llLog);
    RunTransfer();
    log.Log("Transfer finished.", llLog);
    MessageBoxes().ShowMessage("Transfer finished.");
    log.WriteFooter();
    app.Terminate();
  }

  app.Run(*mainForm);

  log.Log("Save Captions", llLog);
  SaveCaptions();
  log.WriteFooter();
  return 0;
}

void AppException(QObject* /*sender*/, const std::exception& e) {
  if (LogBook) LogBook->Log(e.what(), llError);
  MessageBoxes().ShowMessage(e.what());
  if (TOxApplication* app = TOxApplication::Instance()) {
    app->Terminate();
  } else {
    QCoreApplication::exit(0);
  }
}
