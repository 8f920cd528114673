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

namespace {

// Receives the one event that runs a handler.
class HandlerCall : public QObject {
 public:
  explicit HandlerCall(const std::function<void()>& handler) : m_handler(handler) {}

  static QEvent::Type Type() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
  }

  bool event(QEvent* event) override {
    if (event->type() != Type()) return QObject::event(event);
    m_handler();
    return true;
  }

 private:
  const std::function<void()>& m_handler;
};

}  // namespace

void RunHandler(const std::function<void()>& handler) {
  HandlerCall call(handler);
  QEvent event(HandlerCall::Type());
  QCoreApplication::sendEvent(&call, &event);
}

QString TApplication::Title() {
  return ApplicationTitle(QCoreApplication::applicationFilePath());
}
