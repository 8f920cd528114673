#include "cli/command_line.h"

#include <cstdio>

#include <QCommandLineParser>

#include "cli/command.h"

namespace cli {
namespace {

const char kDescription[] =
    "Dotwright draws or imports two-colour pictures for monochrome displays and writes them as C\n"
    "arrays for the display's controller.\n"
    "\n"
    "  dotwright                                 start the program\n"
    "  dotwright FILE                            start the program with FILE opened\n"
    "  dotwright convert [OPTIONS] PICTURE...    pictures to arrays\n"
    "  dotwright render [OPTIONS] ARRAYFILE      an array file back to a picture\n"
    "  dotwright --help | --version\n"
    "\n"
    "'dotwright convert --help' and 'dotwright render --help' list the options of a command.";

// The arguments from argv[from] on, behind the program's name, for QCommandLineParser::parse.
QStringList Arguments(int argc, char** argv, int from) {
  QStringList arguments{"dotwright"};
  for (int i = from; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  return arguments;
}

// The toolkit's own options for the windows ("-platform offscreen", "-style Fusion"), which the
// application object takes from the arguments when the windows start: accepted here, not listed.
void AddToolkitOptions(QCommandLineParser& parser) {
  for (const char* name :
       {"platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry",
        "qwindowicon", "qwindowtitle", "session", "style", "stylesheet", "display", "geometry",
        "title", "name", "visual", "fontengine", "dialogs"}) {
    QCommandLineOption option(name, {}, "value");
    option.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(option);
  }
  for (const char* name : {"reverse", "widgetcount", "nograb", "dograb", "sync"}) {
    QCommandLineOption option(name);
    option.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(option);
  }
}

// The program without a command: --help, --version, or the windows with at most one FILE.
Outcome RunProgram(int argc, char** argv) {
  QCommandLineParser parser;
  parser.setApplicationDescription(kDescription);
  // "-platform" is one option, as the toolkit reads it, not -p -l -a ...
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  parser.addOption(HelpOption());
  parser.addOption(QCommandLineOption("version", "Show the version and exit."));
  AddToolkitOptions(parser);
  parser.addPositionalArgument("FILE", "A picture or an array file to open in the program.",
                               "[FILE]");
  try {
    if (!ParseOrHelp(parser, Arguments(argc, argv, 1))) return Outcome::Exit(kExitDone);
    if (parser.isSet("version")) {
      std::fputs("dotwright " DOTWRIGHT_VERSION "\n", stdout);
      return Outcome::Exit(kExitDone);
    }
    const QStringList files = parser.positionalArguments();
    if (files.size() > 1) {
      throw UsageError("more than one file to open (the commands are 'convert' and 'render')");
    }
    return Outcome::Windows(files.value(0));
  } catch (const UsageError& error) {
    return Outcome::Exit(ComplainOfUsage(error, "dotwright"));
  }
}

}  // namespace

Outcome Run(int argc, char** argv) {
  const QString command = QString::fromLocal8Bit(argv[1]);
  if (command == "convert") return Outcome::Exit(RunConvert(Arguments(argc, argv, 2)));
  if (command == "render") return Outcome::Exit(RunRender(Arguments(argc, argv, 2)));
  return RunProgram(argc, argv);
}

}  // namespace cli
