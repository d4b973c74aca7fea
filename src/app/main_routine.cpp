#include "app/main_routine.h"

#include <cerrno>
#include <cstdio>

#include "app/command_line.h"
#include "app/functions.h"
#include "config/kestrel_cfg.h"
#include "fs/run_lock.h"
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
  fn.FileRemovalRpt->MessageLogged.Subscribe(
      [](const std::string& message) { std::printf("[Message] %s\n", message.c_str()); });
  fn.WarningRpt->WarningIssued.Subscribe(
      [](const std::string& warning) { std::printf("[Warning] %s\n", warning.c_str()); });
}

int RunSilent(Functions& fn, bool loaded) {
  KestrelCfg& cfg = *fn.CurrentCfg;
  if (!loaded) return kExitBadInput;
  PrintRunLines(fn);
  const bool completed = cfg.CleanUp();
  std::fflush(stdout);
  return completed ? kExitOk : kExitRunFailed;
}

}  // namespace

int Main(Functions& fn, const std::vector<std::string>& args, const GuiEntry& gui,
         std::int64_t wait_seconds) {
  try {
    ProcessCommandLine(fn, CommandLineText(args));
    KestrelCfg& cfg = *fn.CurrentCfg;
    Win32Wrapper fs(fn.Outside().sys);
    if (cfg.Filename().empty()) {
      const std::string default_file = ProgramFile(fn, "default.ksp");
      if (fs.FileExists(default_file)) cfg.Filename(default_file);
    }
    // A scheduled run of a file that is not there must fail, not clean up with defaults.
    if (!fn.GuiMode && (!fs.FileExists(cfg.Filename()) || fs.FolderExists(cfg.Filename()))) {
      throw KsError(ENOENT, "Configuration file not found: " + EscapeControlBytes(cfg.Filename()),
                    "Functions.Main");
    }
    // Held until the run ends; taken before the load, so that a waiting run reads what the
    // run before it wrote.
    RunLock lock(fn.Outside().sys, fn.ProgramFolder());
    if (!fn.GuiMode && !TakeRunLock(lock, fn.Outside().clock, fn.Outside().reporter, wait_seconds,
                                    "Functions.Main")) {
      return kExitRunFailed;
    }
    const bool loaded = cfg.Filename().empty() || cfg.Load();
    if (fn.GuiMode) return gui(fn);
    return RunSilent(fn, loaded);
  } catch (...) {
    ReportHandled(fn.Outside().reporter, "Functions.Main", std::current_exception());
    return kExitBadInput;
  }
}

}  // namespace kestrel
