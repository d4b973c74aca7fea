// The program: silent runs here, without any GUI library; GUI mode in the window program.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/commands/commands.h"
#include "app/functions.h"
#include "app/main_routine.h"
#include "config/value_forms.h"
#include "fs/sys.h"
#include "platform/console_error_reporter.h"
#include "platform/program_folder.h"

namespace {

// Replaces this process by kestrel-gui, with the same arguments.
int StartWindowProgram(int argc, char** argv) {
  const std::string gui = kestrel::WindowProgramPath();
  std::vector<char*> args(argv, argv + argc);
  args[0] = const_cast<char*>(gui.c_str());
  args.push_back(nullptr);
  ::execv(gui.c_str(), args.data());
  std::fprintf(stderr, "kestrel: cannot start the window program %s: %s\n", gui.c_str(),
               std::strerror(errno));
  return kestrel::kExitBadInput;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace kestrel;
  if (!EnvironmentAccepted()) return kExitBadInput;
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 1 && args[0] == "--version") {
    std::printf("kestrel %s\n", VersionText().c_str());
    return kExitOk;
  }
  const bool long_line = IsLongCommandLine(args);
  const bool help = args.size() == 1 && args[0] == "-h";
  if (!long_line && !help && !IsSilentCommandLine(CommandLineText(args))) {
    return StartWindowProgram(argc, argv);
  }

  const std::string folder = ResolveProgramFolder();
  SetDisplayLocale("");
  SystemClock clock;
  ConsoleErrorReporter reporter(clock, folder);
  Functions fn(Outside{clock, reporter, RealSys(), folder});
  if (help) return RunLongCommandLine(fn, {"--help"}, Commands());
  if (long_line) return RunLongCommandLine(fn, args, Commands());
  // A silent command line never asks for the window.
  return Main(fn, args, [](Functions&) { return kExitBadInput; });
}
