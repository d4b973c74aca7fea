#pragma once

#include <sys/stat.h>

#include <functional>
#include <string>
#include <vector>

#include "fs/fd.h"
#include "fs/sys.h"
#include "journal/journal_entry.h"
#include "platform/clock.h"

namespace kestrel::journal {

struct RestoreOptions {
  // A taken original path: restore under the first free "name (2).ext", ... instead of
  // skipping the file.
  bool rename = false;
};

struct RestoreEvents {
  std::function<void(const Entry& entry, const std::string& path)> restored;
  std::function<void(const std::string& text)> warning;
};

struct RestoreResult {
  int restored = 0;
  int failed = 0;  // files chosen but not restored, each with a warning
};

// Moves the moved entries of run whose original path is in only (all when only is empty)
// back to where the run found them, never replacing anything, and records each outcome in the
// run's journal. A file is only ever put in the folder of its recorded original path, reached
// from its recorded include folder (the same device and inode) without following links, the
// missing folders on the way made again. A file no longer where the journal says, or changed
// since, is reported and left. Trash items lose their .trashinfo.
RestoreResult Restore(Sys& sys, const Clock& clock, RunJournal& run,
                      const std::vector<std::string>& only, const RestoreOptions& options,
                      const RestoreEvents& events);

// Opens the folder of the entry's original path, walked from its include folder without
// following links, making missing folders when make is set. The include folder must have the
// identity recorded in a journal of that format version. Returns 0, ELOOP or ENOTDIR for a
// link or file in the way, ESTALE when the include folder is not the recorded one, EINVAL when
// the original does not lie below it, or the errno of a step.
int OpenOriginFolder(Sys& sys, const Entry& entry, bool make, Fd& out, int version);

// Returns true iff someone other than the running user (uid) may add or replace entries of the
// folder: it is not sticky and is writable by its group, by others, or by another owner.
bool OthersCanWrite(const struct stat& folder, uid_t uid);

// Returns true iff the .trashinfo at info_path says the entry came from original.
bool TrashInfoNames(Sys& sys, const std::string& info_path, const std::string& original);

}  // namespace kestrel::journal
