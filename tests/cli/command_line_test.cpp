// What the command line hands to the windows when no command is given.
#include "cli/command_line.h"

#include <vector>

#include <gtest/gtest.h>

#include "windows/Application.h"

namespace {

cli::Outcome RunWith(std::vector<const char*> arguments) {
  arguments.insert(arguments.begin(), "dotwright");
  std::vector<char*> argv;
  for (const char* a : arguments) argv.push_back(const_cast<char*>(a));
  argv.push_back(nullptr);
  return cli::Run(static_cast<int>(arguments.size()), argv.data());
}

TEST(CommandLine, WithoutACommandTheWindowsStartWithTheFileGiven) {
  const struct {
    std::vector<const char*> arguments;
    bool windows;
    const char* file;  // for the windows; or the exit status's cause
    int status;
  } cases[] = {
      {{"logo.bmp"}, true, "logo.bmp", 0},
      {{"--", "-odd name.h"}, true, "-odd name.h", 0},
      // The toolkit's own options are left for the application object.
      {{"-platform", "offscreen", "logo.bmp"}, true, "logo.bmp", 0},
      {{"-style", "Fusion", "-reverse"}, true, "", 0},
      {{"logo.bmp", "other.bmp"}, false, "", 2},
      {{"--size", "84x48", "logo.bmp"}, false, "", 2},
      {{"-platform"}, false, "", 2},
      // A command's name is only a command in the first place.
      {{"logo.bmp", "convert"}, false, "", 2},
  };
  for (const auto& c : cases) {
    const cli::Outcome outcome = RunWith(c.arguments);
    EXPECT_EQ(outcome.startWindows, c.windows) << c.arguments.front();
    EXPECT_EQ(outcome.file, QString(c.file)) << c.arguments.front();
    EXPECT_EQ(outcome.exitStatus, c.status) << c.arguments.front();
  }
}

TEST(CommandLine, TheBuiltProgramsErrorBoxesAreCaptionedDotwright) {
  // The caption comes from the executable's name.
  EXPECT_EQ(ApplicationTitle(DOTWRIGHT_EXECUTABLE), "dotwright");
}

}  // namespace
