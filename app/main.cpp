// Dotwright: draw or import a two-colour picture and get it as a C array for a display
// controller; or, given a command, convert pictures to arrays and back with no windows.
#include "cli/command_line.h"
#include "windows/Application.h"
#include "windows/Forms.h"

int main(int argc, char** argv) {
  // With no arguments nothing is read: the windows start at once.
  QString file;
  if (argc > 1) {
    const cli::Outcome outcome = cli::Run(argc, argv);
    if (!outcome.startWindows) return outcome.exitStatus;
    file = outcome.file;
  }
  ChooseScreenTransfer();
  TApplication application(argc, argv);
  CreateForms();
  if (!file.isEmpty()) OpenFileAtStart(file);
  const int result = application.exec();
  DestroyForms();
  return result;
}
