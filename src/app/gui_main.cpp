// The window program: GUI mode, and silent mode as well for a command line that asks for it.
#include <cstdio>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/functions.h"
#include "app/main_routine.h"
#include "config/value_forms.h"
#include "fs/sys.h"
#include "platform/console_error_reporter.h"
#include "platform/program_folder.h"
#include "ui/gui.h"
#include "ui/gui_error_reporter.h"

int main(int argc, char** argv) {
  using namespace kestrel;
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 1 && args[0] == "--version") {
    std::printf("kestrel %s\n", VersionText().c_str());
    return kExitOk;
  }
  const std::string folder = ResolveProgramFolder();
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    std::printf("%s\n\nProgram folder: %s\n", UsageText().c_str(), folder.c_str());
    return kExitOk;
  }

  SetDisplayLocale("");
  SystemClock clock;
  ConsoleErrorReporter console(clock, folder);
  // Shows errors in message boxes only once the windows are up; never in silent mode.
  GuiErrorReporter reporter(console);
  Functions fn(Platform{clock, reporter, RealSys(), folder});
  return Main(fn, args, [&](Functions& f) { return RunGui(f, argc, argv); });
}
