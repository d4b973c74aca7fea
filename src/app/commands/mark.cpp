// --mark and --unmark: renaming files to carry or lose the removal-date mark.
#include <cstdio>
#include <optional>

#include "app/command_line.h"
#include "app/commands/commands.h"
#include "app/functions.h"
#include "config/kestrel_cfg.h"
#include "fs/win32_wrapper.h"
#include "marking/mark_file.h"
#include "marking/mark_rules.h"
#include "platform/error.h"
#include "platform/escape_text.h"

namespace kestrel {
namespace {

// The prefix token of --config CONFIG, else of default.ksp in the program folder, else the
// default; nullopt when the configuration cannot be read (reported).
std::optional<std::string> Token(Functions& fn, const LongCommandLine& line) {
  KestrelCfg& cfg = *fn.CurrentCfg;
  std::string file = ProgramFile(fn, "default.ksp");
  if (line.Has("config")) {
    file = ConfigOperandPath(fn.ProgramFolder(), line.Value("config"));
  } else if (!Win32Wrapper(fn.Outside().sys).FileExists(file)) {
    return cfg.PrefixToken();
  }
  Win32Wrapper fs(fn.Outside().sys);
  if (file.empty() || !fs.FileExists(file) || fs.FolderExists(file)) {
    std::fprintf(stderr, "kestrel: configuration file not found: %s\n",
                 EscapeControlBytes(file).c_str());
    return std::nullopt;
  }
  cfg.Filename(file);
  if (!cfg.Load()) return std::nullopt;
  return cfg.PrefixToken();
}

// Runs one rule over every file: a line per file, exit 1 when any failed.
template <typename Rule>
int OverFiles(const std::vector<std::string>& files, Rule rule) {
  int status = kExitOk;
  for (const std::string& file : files) {
    const MarkOutcome out = rule(AbsolutePath(file));
    if (out.ok) {
      std::printf("%s -> %s\n", EscapeControlBytes(file).c_str(),
                  EscapeControlBytes(Win32Wrapper::Filename(out.new_path)).c_str());
    } else {
      std::fprintf(stderr, "kestrel: %s: %s\n", EscapeControlBytes(file).c_str(),
                   out.reason.c_str());
      status = kExitRunFailed;
    }
  }
  std::fflush(stdout);
  return status;
}

}  // namespace

int MarkCommand(Functions& fn, const LongCommandLine& line) {
  const std::string when = line.Value("mark");
  const auto date = ParseWhen(when, fn.Now());
  if (!date) {
    throw UsageError(
        "--mark takes Nd, Nw, Nm or Ny (any N whose date falls on or before 12-31-9999) or a "
        "date MM-DD-YYYY, not \"" +
        EscapeControlBytes(when) + "\"");
  }
  const auto token = Token(fn, line);
  if (!token) return kExitBadInput;
  if (token->empty()) return ReportUsageError("the configuration's prefix token is empty");
  Sys& sys = fn.Outside().sys;
  return OverFiles(line.operands,
                   [&](const std::string& path) { return MarkFile(sys, path, *token, *date); });
}

int UnmarkCommand(Functions& fn, const LongCommandLine& line) {
  const auto token = Token(fn, line);
  if (!token) return kExitBadInput;
  Sys& sys = fn.Outside().sys;
  return OverFiles(line.operands,
                   [&](const std::string& path) { return UnmarkFile(sys, path, *token); });
}

}  // namespace kestrel
