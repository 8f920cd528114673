#pragma once

// What the commands share: their errors, the values of their options, the platform.

#include <functional>
#include <stdexcept>
#include <string>

#include <QCommandLineOption>
#include <QString>
#include <QStringList>

class QCommandLineParser;

namespace cli {

// Wrong usage (exit status 2): what() is the message, in English; the hint to --help is added
// where it is reported.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A file that could not be read or written (exit status 1), reported as "dotwright: PATH:
// MESSAGE".
class FileError : public std::runtime_error {
 public:
  FileError(QString path, const std::string& message)
      : std::runtime_error(message), m_path(std::move(path)) {}
  const QString& Path() const { return m_path; }

 private:
  QString m_path;
};

// Writes "dotwright: MESSAGE" and a line break to standard error.
void Complain(const QString& message);
// Reports wrong usage with a hint to `helpCommand` --help ("dotwright convert"); returns the exit
// status for it.
int ComplainOfUsage(const UsageError& error, const QString& helpCommand);

// Runs a command's work and returns its exit status: the one it returns, or that of a UsageError
// or FileError it throws, reported on standard error.
int CarryOut(const QString& helpCommand, const std::function<int()>& work);

// The commands. `arguments` are those after the command's name, with the program's name first
// (as QCommandLineParser::parse takes them). Each returns its exit status and reports its own
// errors.
int RunConvert(const QStringList& arguments);
int RunRender(const QStringList& arguments);

// Reads the arguments into `parser`, which already holds the command's options; throws
// UsageError for an unknown option or a missing value. Returns false when --help was given and
// the help has been printed. Needs no application object, and leaves none.
bool ParseOrHelp(QCommandLineParser& parser, const QStringList& arguments);
QCommandLineOption HelpOption();

// A picture size: W a multiple of 4 in 4..320, H a multiple of 8 in 8..240.
struct Size {
  int width = 0;
  int height = 0;
};
// "WxH" with a valid size; throws UsageError naming the rule otherwise.
Size ParseSize(const QString& text);

// The array name made from a file's name: its stem (the name without its directory and its last
// extension) made a C identifier by model::IdentifierFromStem: "pics/logo-2.bmp" gives "logo_2".
std::string ArrayNameFromFile(const QString& path);

// Picks the offscreen platform when the process has no display and none was chosen in
// QT_QPA_PLATFORM, so the commands run anywhere; a display that is there is used, so that text
// in metafiles is drawn as the windows draw it.
void ChooseHeadlessPlatform();

// Keeps the toolkit's own notes (a missing runtime folder, a font substituted) off standard error,
// which carries the commands' messages only. A fatal error still ends the program.
void QuietToolkit();

// The application object's argument count and vector for the commands: only the program's name,
// so that the toolkit takes none of the commands' arguments for its own.
int& ApplicationArgc();
char** ApplicationArgv();

}  // namespace cli
