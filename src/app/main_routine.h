#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kestrel {

class Functions;

// Exit statuses of the program.
inline constexpr int kExitOk = 0;         // run completed, warnings allowed
inline constexpr int kExitRunFailed = 1;  // run ended through its error handler
inline constexpr int kExitBadInput = 2;   // bad command line or configuration

// Returns true iff the environment is fit to start with; else the reason is on stderr.
bool EnvironmentAccepted();

// Opens the windows once the configuration is loaded; returns the exit status.
using GuiEntry = std::function<int(Functions&)>;

struct LongCommandLine;

// How a silent run started from long options behaves beyond the design.
struct RunOptions {
  bool json = false;        // print JSON Lines instead of the Run tab's lines
  int wait_seconds = 0;     // how long to wait for another run's lock
  int keep_journals = 100;  // run journals kept, this run's included
};

// The modifiers of a silent run given on a long command line. Throws UsageError for a --wait
// or --keep-journals outside its range.
RunOptions RunOptionsFrom(const LongCommandLine& line);

// A command of the long command line, run when its option is given; returns the exit status.
// It may throw UsageError, which is shown as a mistake on the command line.
struct LongCommand {
  const char* option;
  std::function<int(Functions&, const LongCommandLine&)> run;
  int min_operands = 0;
  int max_operands = 0;       // -1: any number
  const char* operands = "";  // what the operands are, for a message about too few
};

// Start-up after the program-wide objects exist: command line, configuration, then GUI or
// silent mode. Errors are reported under "Functions.Main". A silent run first waits up to
// options.wait_seconds for the program folder's run lock; without it, it ends with
// kExitRunFailed. Returns the exit status.
int Main(Functions& fn, const std::vector<std::string>& args, const GuiEntry& gui,
         const RunOptions& options = {});

// Returns true iff the program folder, its journal folder and each journal belong to the running
// user and no one else may write to them. Otherwise refuses: "kestrel: " and the reason on
// standard error in silent mode, the reason through the reporter under procedure in the window.
bool ProgramFolderTrusted(Functions& fn, const std::string& procedure);

// Runs a long command line: the one command its options name, else a silent run of its one
// configuration operand. A mistake on the command line (an unknown option, a value out of
// range, too few or too many operands) is shown by ReportUsageError (exit 2).
int RunLongCommandLine(Functions& fn, const std::vector<std::string>& args,
                       const std::vector<LongCommand>& commands);

}  // namespace kestrel
