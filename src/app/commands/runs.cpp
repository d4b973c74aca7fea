// kestrel --runs: the journaled runs, with what each moved.
#include <cstdio>

#include "app/command_line.h"
#include "app/commands/restore.h"
#include "app/functions.h"
#include "app/main_routine.h"
#include "journal/journal_reader.h"
#include "journal/journal_text.h"
#include "journal/journal_writer.h"
#include "reports/json_line.h"

namespace kestrel {

int RunsCommand(Functions& fn, const LongCommandLine& line) {
  if (!ProgramFolderTrusted(fn, "Functions.Runs")) return kExitBadInput;
  Sys& sys = fn.Outside().sys;
  const std::string folder = JournalFolder(fn);
  for (const std::string& name : journal::ListRuns(sys, folder)) {
    journal::RunJournal run;
    if (journal::ReadJournal(sys, folder, name, run) != 0) continue;
    std::int64_t restored = 0;
    for (const journal::Entry& e : run.entries) restored += e.state == journal::State::kRestored;
    if (line.Has("json")) {
      std::printf("%s\n", JsonLine()
                              .Text("type", "run")
                              .Text("name", name)
                              .Text("start", journal::IsoText(run.start))
                              .Number("files", run.MovedFiles())
                              .Number("bytes", run.MovedBytes())
                              .Number("restored", restored)
                              .Text("config", run.config)
                              .Str()
                              .c_str());
      continue;
    }
    const std::string config = run.config.empty() ? "(unsaved)" : journal::Escape(run.config);
    std::printf("%s\t%s\t%lld files\t%lld bytes\t%lld restored\t%s\n", name.c_str(),
                journal::IsoText(run.start).c_str(), static_cast<long long>(run.MovedFiles()),
                static_cast<long long>(run.MovedBytes()), static_cast<long long>(restored),
                config.c_str());
  }
  std::fflush(stdout);
  return kExitOk;
}

}  // namespace kestrel
