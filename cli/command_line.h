#pragma once

#include <QString>

namespace cli {

// Exit statuses of the commands.
inline constexpr int kExitDone = 0;
// A picture or array file could not be read or written, or --check found a difference.
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// What main does once the command line has been read.
struct Outcome {
  // Start the windows (no command was given), opening `file` when it is not empty.
  bool startWindows = false;
  QString file;
  // Otherwise end with this status: the command, --help or --version has been carried out, or
  // the usage was wrong.
  int exitStatus = kExitDone;

  static Outcome Exit(int status) { return {false, {}, status}; }
  static Outcome Windows(const QString& file) { return {true, file, kExitDone}; }
};

// Reads the arguments after the program name (argc > 1) and carries out what they ask, except
// starting the windows, which it leaves to the caller. Nothing is created for the windows' path:
// no application object, no platform.
Outcome Run(int argc, char** argv);

}  // namespace cli
