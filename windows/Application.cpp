#include "windows/Application.h"

#include <exception>
#include <utility>

#include <QFileInfo>
#include <QMessageBox>

QString ErrorBoxText(const QString& message) {
  if (!message.isEmpty() && message.back() > u'.') return message + ".";
  return message;
}

QString ApplicationTitle(const QString& executablePath) {
  QString name = QFileInfo(executablePath).fileName();
  if (const qsizetype dot = name.indexOf('.'); dot >= 0) name.truncate(dot);
  if (name.isEmpty()) return "Dotwright";
  return name.left(1) + name.mid(1).toLower();
}

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
  // Ties the windows to the installed menu entry, whose icon the task bar then shows (on Wayland
  // it is the windows' application id).
  setDesktopFileName(DOTWRIGHT_APP_ID);
}

namespace {

// Shows the error being handled in the error box.
void ShowCaught() {
  try {
    throw;
  } catch (const std::exception& error) {
    TApplication::ShowException(QString::fromUtf8(error.what()));
  } catch (...) {
    TApplication::ShowException("Unknown error");
  }
}

}  // namespace

bool TApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (...) {
    ShowCaught();
  }
  return false;
}

void ChooseScreenTransfer() {
  if (!qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM")) qputenv("QT_XCB_NO_MITSHM", "1");
}

void TApplication::ShowException(const QString& message) {
  QWidget* owner = QApplication::activeModalWidget();
  if (owner == nullptr) owner = QApplication::activeWindow();
  QMessageBox box(QMessageBox::Critical, Title(), ErrorBoxText(message), QMessageBox::Ok, owner);
  box.setObjectName("ErrorBox");
  box.exec();
}

void RunHandler(const std::function<void()>& handler) {
  try {
    handler();
  } catch (...) {
    ShowCaught();
  }
}

QString TApplication::Title() {
  return ApplicationTitle(QCoreApplication::applicationFilePath());
}
