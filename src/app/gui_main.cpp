// The window program, started by kestrel for every command line but a silent one (and
// --help/--version, which kestrel answers itself).
#include <string>
#include <vector>

#include "app/functions.h"
#include "app/main_routine.h"
#include "fs/sys.h"
#include "platform/console_error_reporter.h"
#include "platform/program_folder.h"
#include "ui/gui.h"
#include "ui/gui_error_reporter.h"

int main(int argc, char** argv) {
  using namespace kestrel;
  const std::vector<std::string> args(argv + 1, argv + argc);
  const std::string folder = ResolveProgramFolder();
  SetDisplayLocale("");
  SystemClock clock;
  ConsoleErrorReporter console(clock, folder);
  // Shows errors in message boxes only once the windows are up; never in silent mode.
  GuiErrorReporter reporter(console);
  Functions fn(Platform{clock, reporter, RealSys(), folder});
  return Main(fn, args, [&](Functions& f) { return RunGui(f, argc, argv); });
}
