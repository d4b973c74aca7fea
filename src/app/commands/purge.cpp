// kestrel --purge CONFIG: empties the quarantine of CONFIG of its items older than N days.
#include <cstdio>
#include <exception>

#include "app/command_line.h"
#include "app/commands/commands.h"
#include "app/functions.h"
#include "app/main_routine.h"
#include "config/kestrel_cfg.h"
#include "fs/run_lock.h"
#include "fs/win32_wrapper.h"
#include "journal/purge.h"
#include "journal/recovery.h"
#include "logging/log_file.h"
#include "platform/error.h"
#include "platform/escape_text.h"
#include "reports/json_line.h"

namespace kestrel {
namespace {

constexpr const char* kProcedure = "Functions.Purge";

struct Output {
  Functions& fn;
  bool json;

  void Line(const char* kind, const std::string& text) {
    fn.RunLog->WriteLogMessage(text, true);
    if (json) {
      std::printf("%s\n", JsonLine().Text("type", kind).Text("text", text).Str().c_str());
    } else {
      std::printf("[%c%s] %s\n", kind[0] - 'a' + 'A', kind + 1, text.c_str());
    }
  }
  void Purged(const journal::PurgeItem& item) {
    fn.RunLog->WriteLogMessage("Purged: " + EscapeControlBytes(item.path), true);
    if (json) {
      std::printf("%s\n", JsonLine()
                              .Text("type", "purged")
                              .Text("path", item.path)
                              .Number("size", item.size)
                              .Str()
                              .c_str());
    } else {
      std::printf("[Purged] %lld %s\n", static_cast<long long>(item.size),
                  EscapeControlBytes(item.path).c_str());
    }
  }
  int End(const journal::PurgeResult& r, int status) {
    const std::string last = "Purge: " + std::to_string(r.items) + " items, " +
                             std::to_string(r.bytes) + " bytes, " + std::to_string(r.errors) +
                             " errors";
    fn.RunLog->WriteLogMessage(last, true);
    if (json) {
      std::printf("%s\n", JsonLine()
                              .Text("type", "summary")
                              .Number("purged", r.items)
                              .Number("purged_bytes", r.bytes)
                              .Number("purge_errors", r.errors)
                              .Number("status", status)
                              .Str()
                              .c_str());
    } else {
      std::printf("%s\n", last.c_str());
    }
    std::fflush(stdout);
    return status;
  }
};

int Purge(Functions& fn, const KestrelCfg& cfg, bool json);

}  // namespace

int PurgeCommand(Functions& fn, const LongCommandLine& line) {
  RunOptions options;
  std::string config;
  try {
    options = RunOptionsFrom(line);
    config = ConfigOperandPath(fn.ProgramFolder(), line.Value("purge"));
    if (config.empty()) return ReportUsageError("option '--purge' needs CONFIG");
    if (!Win32Wrapper(fn.Outside().sys).FileExists(config))
      throw KsError(kAppError, "Configuration file not found: " + EscapeControlBytes(config),
                    kProcedure);
  } catch (...) {
    ReportHandled(fn.Outside().reporter, kProcedure, std::current_exception());
    return kExitBadInput;
  }
  // A file that is not a configuration is refused before the lock file is touched.
  KestrelCfg& cfg = *fn.CurrentCfg;
  cfg.Filename(config);
  if (!cfg.Load()) return kExitBadInput;
  // The journals say what may be deleted, so they must be the user's alone.
  if (!ProgramFolderTrusted(fn, kProcedure)) return kExitBadInput;
  Sys& sys = fn.Outside().sys;
  RunLock lock(sys, fn.ProgramFolder());
  if (!TakeRunLock(lock, fn.Outside().clock, fn.Outside().reporter, options.wait_seconds,
                   kProcedure))
    return kExitRunFailed;
  // A run that held the lock may have moved the last-run date on.
  if (!cfg.Load()) return kExitBadInput;
  try {
    return Purge(fn, cfg, options.json);
  } catch (...) {
    ReportHandled(fn.Outside().reporter, kProcedure, std::current_exception());
    return kExitRunFailed;
  }
}

namespace {

int Purge(Functions& fn, const KestrelCfg& cfg, bool json) {
  Sys& sys = fn.Outside().sys;
  Output out{fn, json};
  journal::PurgeResult result;
  journal::Recover(sys, fn.Outside().clock, JournalFolder(fn),
                   [&](const std::string& text) { out.Line("message", text); });
  if (cfg.LastRunDate() >= fn.Now()) {
    out.Line("warning", "Today's date is prior to the previously recorded run date");
    return out.End(result, kExitOk);
  }
  if (cfg.PurgeAfterDays() <= 0) {
    out.Line("message",
             "Nothing to purge, PurgeAfterDays is " + std::to_string(cfg.PurgeAfterDays()));
    return out.End(result, kExitOk);
  }
  if (cfg.QuarantineFolder().empty()) {
    out.Line("message", "Nothing to purge, the destination is the Trash");
    return out.End(result, kExitOk);
  }
  const journal::PurgeSetup setup = journal::MakePurgeSetup(
      sys, fn.Outside().clock, fn.ProgramFolder(), cfg.QuarantineFolder(), cfg.PurgeAfterDays());
  journal::PurgeEvents events;
  events.purged = [&](const journal::PurgeItem& item) { out.Purged(item); };
  events.warning = [&](const std::string& text) { out.Line("warning", text); };
  events.message = [&](const std::string& text) { out.Line("message", text); };
  result = journal::RunPurge(setup, events);
  if (result.refused) return out.End(result, kExitBadInput);
  return out.End(result, result.errors > 0 ? kExitRunFailed : kExitOk);
}

}  // namespace

}  // namespace kestrel
