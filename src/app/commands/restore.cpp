// kestrel --restore RUN [PATH...]: moves the files of a journaled run back.
#include "app/commands/restore.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "app/command_line.h"
#include "app/functions.h"
#include "app/main_routine.h"
#include "cleanup/removal_date.h"
#include "config/kestrel_cfg.h"
#include "fs/run_lock.h"
#include "fs/win32_wrapper.h"
#include "journal/journal_reader.h"
#include "journal/journal_text.h"
#include "journal/journal_writer.h"
#include "journal/recovery.h"
#include "journal/restore.h"
#include "marking/mark_file.h"
#include "platform/error.h"
#include "platform/escape_text.h"
#include "reports/json_line.h"

namespace kestrel {
namespace {

// The prefix token of the run's configuration, or the default when it cannot be read.
std::string PrefixOf(Functions& fn, const std::string& config) {
  KestrelCfg cfg(fn.Outside());
  if (!config.empty() && Win32Wrapper(fn.Outside().sys).FileExists(config)) {
    cfg.Filename(config);
    cfg.Load();
  }
  return cfg.PrefixToken();
}

}  // namespace

int RestoreFiles(Functions& fn, const RestoreRequest& request,
                 const std::function<void(const RestoreNote&)>& tell) {
  const auto out = [&](std::string line) {
    tell({line[1] == 'W' ? "warning" : line[1] == 'R' ? "run" : "message", "", line});
  };
  Sys& sys = fn.Outside().sys;
  if (!ProgramFolderTrusted(fn, "Functions.Restore")) return kExitBadInput;
  // One run or restore at a time per program folder.
  RunLock lock(sys, fn.ProgramFolder());
  if (!TakeRunLock(lock, fn.Outside().clock, fn.Outside().reporter, request.wait_seconds,
                   "Functions.Restore")) {
    return kExitRunFailed;
  }
  const std::string folder = JournalFolder(fn);
  journal::Recover(
      sys, fn.Outside().clock, folder, [&](const std::string& text) { out("[Message] " + text); },
      [&](const std::string& text) { out("[Warning] " + text); });
  const std::vector<std::string> runs = journal::ListRuns(sys, folder);
  journal::RunJournal run;
  std::string name = request.run;
  if (name == "last") {
    // Journals kept from before a run without moves removed its own are passed over.
    for (auto it = runs.rbegin(); it != runs.rend(); ++it) {
      journal::RunJournal candidate;
      if (journal::ReadJournal(sys, folder, *it, candidate) != 0 || candidate.MovedFiles() == 0)
        continue;
      name = *it;
      run = std::move(candidate);
      break;
    }
    if (name == "last") {
      out("[Message] Nothing is left to restore");
      return kExitOk;
    }
    out("[Run] " + name);
  } else {
    if (std::find(runs.begin(), runs.end(), name) == runs.end()) {
      out("[Warning] No journaled run is called " + EscapeControlBytes(request.run));
      return kExitBadInput;
    }
    if (const int err = journal::ReadJournal(sys, folder, name, run)) {
      out("[Warning] The journal of run " + name + " cannot be read (" + std::to_string(err) + ")");
      return kExitRunFailed;
    }
  }
  if (request.paths.empty() &&
      std::none_of(run.entries.begin(), run.entries.end(),
                   [](const journal::Entry& e) { return e.state == journal::State::kMoved; })) {
    out("[Message] Nothing is left to restore");
    return kExitOk;
  }
  const std::string prefix = PrefixOf(fn, run.config);
  journal::RestoreEvents events;
  events.warning = [&](const std::string& text) { out("[Warning] " + text); };
  events.restored = [&](const journal::Entry&, const std::string& path) {
    tell({"restored", path, "[Restored] " + EscapeControlBytes(path)});
    const auto due = ReadRemovalDate(path, prefix);
    if (request.unmark && due) {
      const MarkOutcome unmarked = UnmarkFile(sys, path, prefix);
      if (unmarked.ok) {
        return tell(
            {"unmarked", unmarked.new_path, "[Unmarked] " + EscapeControlBytes(unmarked.new_path)});
      }
      out("[Warning] Its mark stays (" + unmarked.reason + "): " + EscapeControlBytes(path));
    }
    if (due && *due <= fn.Now()) {
      tell({"reminder", path,
            "[Reminder] Its removal date has passed, so the next run moves it again: " +
                EscapeControlBytes(path)});
    }
  };
  const journal::RestoreResult result =
      journal::Restore(sys, fn.Outside().clock, run, request.paths, {request.rename}, events);
  return result.failed == 0 ? kExitOk : kExitRunFailed;
}

int RestoreCommand(Functions& fn, const LongCommandLine& line) {
  RestoreRequest request{line.Value("restore"), {}, line.Has("rename"), line.Has("unmark")};
  // Relative paths name files below the current folder, as --mark takes them.
  for (const std::string& path : line.operands) {
    request.paths.push_back(std::filesystem::path(AbsolutePath(path)).lexically_normal().string());
  }
  request.wait_seconds = RunOptionsFrom(line).wait_seconds;
  const bool json = line.Has("json");
  int counts[2] = {0, 0};  // restored, warnings
  const int status = RestoreFiles(fn, request, [&](const RestoreNote& note) {
    if (!json) return (void)std::printf("%s\n", note.line.c_str());
    const std::string_view type = note.type;
    counts[0] += type == "restored";
    counts[1] += type == "warning";
    JsonLine object;
    object.Text("type", type);
    if (note.path.empty()) {
      object.Text(type == "run" ? "name" : "text", note.line.substr(note.line.find("] ") + 2));
    } else {
      object.Text("path", note.path);
    }
    std::printf("%s\n", object.Str().c_str());
  });
  if (json) {
    std::printf("%s\n", JsonLine()
                            .Text("type", "summary")
                            .Number("restored", counts[0])
                            .Number("warnings", counts[1])
                            .Number("status", status)
                            .Str()
                            .c_str());
  }
  std::fflush(stdout);
  return status;
}

}  // namespace kestrel
