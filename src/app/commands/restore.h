#pragma once

#include <functional>
#include <string>
#include <vector>

namespace kestrel {

class Functions;
struct LongCommandLine;

// What a restore is asked to do: the run's name (or "last"), the original paths to restore
// (all of the run's files when empty), and its two modifiers.
struct RestoreRequest {
  std::string run;
  std::vector<std::string> paths;
  bool rename = false;   // a taken original path: restore under a free "name (2).ext"
  bool unmark = false;   // also take the removal date out of each restored name
  int wait_seconds = 0;  // how long to wait for a run in progress
};

// One thing a restore tells: type "restored", "unmarked" or "reminder" with the file's path,
// or "run" (the run "last" took), "warning" or "message"; line is how the text output shows it ("[Restored] PATH", ...).
struct RestoreNote {
  const char* type;
  std::string path;
  std::string line;
};

// Restores files of a journaled run under the program folder's run lock, after finishing what
// crashed runs left; each thing it tells goes to out.
// Returns 0 when every chosen file came back, 1 when some did not or a run is in progress,
// 2 for an unknown run.
int RestoreFiles(Functions& fn, const RestoreRequest& request,
                 const std::function<void(const RestoreNote&)>& out);

// kestrel --runs: one line per journaled run, oldest first.
int RunsCommand(Functions& fn, const LongCommandLine& line);
// kestrel --restore RUN [PATH...]: see RestoreFiles.
int RestoreCommand(Functions& fn, const LongCommandLine& line);

}  // namespace kestrel
