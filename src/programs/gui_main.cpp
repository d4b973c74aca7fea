// The window program, started by kestrel for every command line but a silent or long one, and
// by the file managers' "Choose date..." as kestrel-gui --mark FILE....
#include <filesystem>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/commands/commands.h"
#include "app/functions.h"
#include "app/main_routine.h"
#include "fs/sys.h"
#include "platform/console_error_reporter.h"
#include "platform/program_folder.h"
#include "ui/gui.h"
#include "ui/gui_error_reporter.h"

int main(int argc, char** argv) {
  using namespace kestrel;
  if (!EnvironmentAccepted()) return kExitBadInput;
  const std::vector<std::string> args(argv + 1, argv + argc);
  const std::string folder = ResolveProgramFolder();
  SetDisplayLocale("");
  SystemClock clock;
  ConsoleErrorReporter console(clock, folder);
  // --help, --version and every other long option answer here as they do in kestrel.
  if (IsLongCommandLine(args) && args[0] != "--mark") {
    Functions cli(Outside{clock, console, RealSys(), folder});
    return RunLongCommandLine(cli, args, Commands());
  }
  // Shows errors in message boxes only once the windows are up; never in silent mode.
  GuiErrorReporter reporter(console);
  Functions fn(Outside{clock, reporter, RealSys(), folder});
  if (!args.empty() && args[0] == "--mark") {
    // From the file managers: the files, made absolute, with default.ksp's token.
    std::vector<std::string> files;
    for (size_t i = 1; i < args.size(); ++i) {
      if (i == 1 && args[i] == "--") continue;
      std::error_code ec;
      const auto path = std::filesystem::absolute(args[i], ec);
      files.push_back(ec ? args[i] : path.string());
    }
    return Main(fn, {}, [&](Functions& f) { return RunMarkDialog(f, argc, argv, files); });
  }
  return Main(fn, args, [&](Functions& f) { return RunGui(f, argc, argv); });
}
