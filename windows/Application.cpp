#include "windows/Application.h"

#include <exception>

#include <QFileInfo>
#include <QMessageBox>

QString ErrorBoxText(const QString& message) {
  if (!message.isEmpty() && message.back() > u'.') return message + ".";
  return message;
}

QString ApplicationTitle(const QString& executablePath) {
  QString name = QFileInfo(executablePath).fileName();
  name.truncate(name.indexOf('.') < 0 ? name.size() : name.indexOf('.'));
  if (name.isEmpty()) return "Dotwright";
  return name.left(1).toUpper() + name.mid(1).toLower();
}

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& error) {
    ShowException(QString::fromUtf8(error.what()));
  } catch (...) {
    ShowException("Unknown error");
  }
  return false;
}

void TApplication::ShowException(const QString& message) {
  QWidget* owner = QApplication::activeModalWidget();
  if (owner == nullptr) owner = QApplication::activeWindow();
  QMessageBox box(QMessageBox::Critical, Title(), ErrorBoxText(message), QMessageBox::Ok, owner);
  box.setObjectName("ErrorBox");
  box.exec();
}

QString TApplication::Title() {
  return ApplicationTitle(QCoreApplication::applicationFilePath());
}
