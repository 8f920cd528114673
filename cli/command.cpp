#include "cli/command.h"

#include <cstdio>
#include <cstdlib>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>

#include "cli/command_line.h"
#include "model/output.h"

namespace cli {

void Complain(const QString& message) {
  const QByteArray text = ("dotwright: " + message + "\n").toUtf8();
  std::fwrite(text.constData(), 1, static_cast<std::size_t>(text.size()), stderr);
}

int ComplainOfUsage(const UsageError& error, const QString& helpCommand) {
  Complain(QString::fromStdString(error.what()));
  const QByteArray hint = ("Try '" + helpCommand + " --help' for more information.\n").toUtf8();
  std::fwrite(hint.constData(), 1, static_cast<std::size_t>(hint.size()), stderr);
  return kExitUsage;
}

int CarryOut(const QString& helpCommand, const std::function<int()>& work) {
  try {
    return work();
  } catch (const UsageError& error) {
    return ComplainOfUsage(error, helpCommand);
  } catch (const FileError& error) {
    Complain(error.Path() + ": " + QString::fromUtf8(error.what()));
    return kExitFailed;
  }
}

QCommandLineOption HelpOption() {
  return QCommandLineOption({"h", "help"}, "Show this help and exit.");
}

bool ParseOrHelp(QCommandLineParser& parser, const QStringList& arguments) {
  if (!parser.parse(arguments)) throw UsageError(parser.errorText().toStdString());
  if (!parser.isSet("help")) return true;
  // The help names the program after the application object's first argument.
  const QCoreApplication application(ApplicationArgc(), ApplicationArgv());
  const QByteArray help = parser.helpText().toUtf8();
  std::fwrite(help.constData(), 1, static_cast<std::size_t>(help.size()), stdout);
  return false;
}

Size ParseSize(const QString& text) {
  static const QRegularExpression pattern("^([0-9]{1,4})x([0-9]{1,4})$");
  const QRegularExpressionMatch match = pattern.match(text);
  const Size size =
      match.hasMatch() ? Size{match.captured(1).toInt(), match.captured(2).toInt()} : Size{};
  if (!model::IsValidSize(size.width, size.height)) {
    throw UsageError("invalid size '" + text.toStdString() +
                     "': give WxH with W a multiple of 4 from 4 to 320 and H a multiple of 8 "
                     "from 8 to 240, e.g. 128x64");
  }
  return size;
}

std::string ArrayNameFromFile(const QString& path) {
  return model::IdentifierFromStem(QFileInfo(path).completeBaseName().toStdString());
}

void ChooseHeadlessPlatform() {
  if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
      qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
}

void QuietToolkit() {
  qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type != QtFatalMsg) return;
    const QByteArray text = message.toUtf8() + "\n";
    std::fwrite(text.constData(), 1, static_cast<std::size_t>(text.size()), stderr);
    std::abort();
  });
}

int& ApplicationArgc() {
  static int argc = 1;
  return argc;
}

char** ApplicationArgv() {
  static char name[] = "dotwright";
  static char* argv[] = {name, nullptr};
  return argv;
}

}  // namespace cli
