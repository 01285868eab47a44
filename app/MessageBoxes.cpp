#include "app/MessageBoxes.h"

#include <QApplication>
#include <QMessageBox>
#include <QString>

#include "app/AppInfo.h"
#include "platform/CodePage.h"

namespace {

QString ToQt(const std::string& text) {
  return QString::fromStdString(platform::Cp1250ToUtf8(text));
}

QString Title() {
  QString name = QApplication::applicationName();
  return name.isEmpty() ? QString::fromLatin1(AppTitle) : name;
}

class TQtMessageBoxes : public TMessageBoxes {
 public:
  void ShowMessage(const std::string& text) override {
    QMessageBox box(QMessageBox::NoIcon, Title(), ToQt(text), QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
  }
  void Error(const std::string& text) override {
    QMessageBox::critical(QApplication::activeWindow(), Title(), ToQt(text));
  }
  void Warning(const std::string& text) override {
    QMessageBox::warning(QApplication::activeWindow(), Title(), ToQt(text));
  }
  bool Confirm(const std::string& text) override {
    return QMessageBox::question(QApplication::activeWindow(), Title(), ToQt(text),
                                 QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
  }
};

TQtMessageBoxes QtBoxes;
TMessageBoxes* Current = &QtBoxes;

}  // namespace

TMessageBoxes& MessageBoxes() {
  return *Current;
}

void SetMessageBoxes(TMessageBoxes* boxes) {
  Current = boxes ? boxes : &QtBoxes;
}
