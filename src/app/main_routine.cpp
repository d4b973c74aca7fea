#include "app/main_routine.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "app/command_line.h"
#include "app/functions.h"
#include "app/run_json.h"
#include "app/signal_stop.h"
#include "cleanup/clean_up.h"
#include "config/kestrel_cfg.h"
#include "fs/list_ahead.h"
#include "fs/run_lock.h"
#include "fs/trust.h"
#include "fs/win32_wrapper.h"
#include "platform/error.h"
#include "platform/escape_text.h"
#include "reports/run_records.h"

namespace kestrel {
namespace {

// Silent mode shows the run as the Run tab would, one line per notification. Messages and
// warnings carry their names escaped already.
void PrintRunLines(Functions& fn) {
  fn.FileRemovalRpt->FileMoved.Subscribe([](const RemovedFilePtr& file) {
    std::printf("[File Moved] %s\n", EscapeControlBytes(file->OriginalFilename()).c_str());
  });
  fn.FileRemovalRpt->ItemPurged.Subscribe([](const std::string& path, std::int64_t size) {
    std::printf("[Purged] %lld %s\n", static_cast<long long>(size),
                EscapeControlBytes(path).c_str());
  });
  fn.FileRemovalRpt->MessageLogged.Subscribe(
      [](const std::string& message) { std::printf("[Message] %s\n", message.c_str()); });
  fn.WarningRpt->WarningIssued.Subscribe(
      [](const std::string& warning) { std::printf("[Warning] %s\n", warning.c_str()); });
}

int RunSilent(Functions& fn, bool loaded, const RunOptions& options) {
  KestrelCfg& cfg = *fn.CurrentCfg;
  fn.KeepJournals = options.keep_journals;
  if (!loaded) return kExitBadInput;
  options.json ? PrintRunJson(fn) : PrintRunLines(fn);
  RunControl control;
  int status = kExitOk;
  {
    SignalStop signals(control);
    status = CleanUp(fn.World(), cfg, &control) && control.signal == 0 ? kExitOk : kExitRunFailed;
  }
  if (options.json) std::printf("%s\n", RunSummaryJson(fn, status).c_str());
  std::fflush(stdout);
  return status;
}

}  // namespace

bool ProgramFolderTrusted(Functions& fn, const std::string& procedure) {
  const std::string why = ProgramFolderDistrust(fn.Outside().sys, fn.ProgramFolder());
  if (why.empty()) return true;
  if (fn.GuiMode) {
    ReportHandled(fn.Outside().reporter, procedure,
                  std::make_exception_ptr(KsError(kAppError, why, procedure)));
  } else {
    std::fprintf(stderr, "kestrel: %s\n", why.c_str());
    std::fflush(stderr);
  }
  return false;
}

bool EnvironmentAccepted() {
  std::string why;
  if (WalkThreads(std::getenv("KESTREL_THREADS"), 1, why) > 0) return true;
  std::fprintf(stderr, "kestrel: %s\n", why.c_str());
  return false;
}

int Main(Functions& fn, const std::vector<std::string>& args, const GuiEntry& gui,
         const RunOptions& options) {
  try {
    ProcessCommandLine(fn, CommandLineText(args));
    KestrelCfg& cfg = *fn.CurrentCfg;
    Win32Wrapper fs(fn.Outside().sys);
    if (cfg.Filename().empty()) {
      const std::string default_file = ProgramFile(fn, "default.ksp");
      if (fs.FileExists(default_file)) cfg.Filename(default_file);
    }
    // A scheduled run of a file that is not there must fail, not clean up with defaults; one
    // that is there but cannot be read fails its Load.
    if (!fn.GuiMode && !fs.FileExists(cfg.Filename())) {
      throw KsError(kAppError,
                    "Configuration file not found: " + EscapeControlBytes(cfg.Filename()),
                    "Functions.Main");
    }
    // Held until the run ends; taken before the load, so that a waiting run reads what the
    // run before it wrote.
    if (!fn.GuiMode && !ProgramFolderTrusted(fn, "Functions.Main")) return kExitBadInput;
    RunLock lock(fn.Outside().sys, fn.ProgramFolder());
    if (!fn.GuiMode && !TakeRunLock(lock, fn.Outside().clock, fn.Outside().reporter,
                                    options.wait_seconds, "Functions.Main")) {
      return kExitRunFailed;
    }
    const bool loaded = cfg.Filename().empty() || cfg.Load();
    if (fn.GuiMode) return gui(fn);
    return RunSilent(fn, loaded, options);
  } catch (...) {
    ReportHandled(fn.Outside().reporter, "Functions.Main", std::current_exception());
    return kExitBadInput;
  }
}

RunOptions RunOptionsFrom(const LongCommandLine& line) {
  RunOptions options;
  options.json = line.Has("json");
  if (line.Has("wait")) {
    options.wait_seconds =
        static_cast<int>(WholeNumberOption("wait", line.Value("wait"), "seconds", 0, 999999999));
  }
  if (line.Has("keep-journals")) {
    options.keep_journals = static_cast<int>(
        WholeNumberOption("keep-journals", line.Value("keep-journals"), "runs", 1, 10000));
  }
  return options;
}

namespace {

// The one command the options name (nullptr: a silent run), with as many operands as it takes.
const LongCommand* ChosenCommand(const LongCommandLine& line,
                                 const std::vector<LongCommand>& commands) {
  static const LongCommand run{"", nullptr, 1, 1, "a configuration file"};
  const LongCommand* chosen = nullptr;
  for (const LongCommand& command : commands) {
    if (!line.Has(command.option)) continue;
    // Given with --restore, --unmark unmarks what the restore brings back.
    if (std::string_view(command.option) == "unmark" && line.Has("restore")) continue;
    if (chosen != nullptr) {
      throw UsageError(std::string("options --") + chosen->option + " and --" + command.option +
                       " cannot be combined");
    }
    chosen = &command;
  }
  const LongCommand& shape = chosen != nullptr ? *chosen : run;
  const auto count = static_cast<int>(line.operands.size());
  if (shape.max_operands >= 0 && count > shape.max_operands) {
    throw UsageError("extra operand '" + EscapeControlBytes(line.operands[shape.max_operands]) +
                     "'");
  }
  if (count < shape.min_operands) {
    throw UsageError(chosen != nullptr
                         ? std::string("--") + shape.option + " needs " + shape.operands
                         : std::string("a run needs ") + shape.operands);
  }
  return chosen;
}

}  // namespace

int RunLongCommandLine(Functions& fn, const std::vector<std::string>& args,
                       const std::vector<LongCommand>& commands) {
  try {
    const LongCommandLine line = ParseLongCommandLine(args);
    const RunOptions options = RunOptionsFrom(line);
    if (const LongCommand* chosen = ChosenCommand(line, commands)) return chosen->run(fn, line);
    const std::string& config = line.operands.front();
    const std::string silent = config.rfind("-s", 0) == 0 ? config : "-s:" + config;
    return Main(
        fn, {silent}, [](Functions&) { return kExitBadInput; }, options);
  } catch (const UsageError& e) {
    return ReportUsageError(e.what());
  } catch (...) {
    ReportHandled(fn.Outside().reporter, "Functions.Main", std::current_exception());
    return kExitBadInput;
  }
}

}  // namespace kestrel
