#pragma once

#include <sys/types.h>

#include <cstdint>
#include <climits>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "fs/fd.h"
#include "fs/sys.h"
#include "journal/journal_entry.h"
#include "platform/clock.h"

namespace kestrel::journal {

// A top-level entry of the quarantine folder that a journal records as moved there.
struct PurgeItem {
  std::string name;  // in the quarantine folder
  std::string path;
  std::int64_t size = 0;  // bytes of its regular files
  DateTime since;         // its age counts from here: the newest move that still holds
  DateTime due;           // since plus the purge days
  std::string run;        // the journal that moved it
  std::uint64_t entry = 0;
  bool mount = false;  // a file system is mounted inside it: never purged
  dev_t dev = 0;       // its identity when it was looked at
  ino_t ino = 0;
};

// The quarantine folder as the purge sees it; due and later by name.
struct PurgePlan {
  std::vector<PurgeItem> due;    // due now
  std::vector<PurgeItem> later;  // known, due after now
  int unknown = 0;               // entries no journal knows, or not as it recorded them
};

// What a purge needs from outside; days of 0 or less purge nothing.
struct PurgeSetup {
  Sys& sys;
  const Clock& clock;
  std::string quarantine;  // absolute
  std::string journals;    // the folder of the run journals
  std::int32_t days = 0;
  std::vector<std::string> guarded;  // home and program folders: never purged, nor above them
  std::int64_t max_errors = INT64_MAX;  // items not purged before the purge stops
  bool dry_run = false;  // tell what would be purged; change nothing
};

// Returns true iff the journal entry is the entry st describes, on the file system whose
// identity is fs: the same type, and what its moved line recorded at its place (a copy's own
// inode after a move across file systems); format 1 knew only the source's device and inode.
bool SameIdentity(const Entry& entry, const struct statx& st, const std::string& fs);

// The folder's refusal, when the purge may not run there: the warning text; nullopt when it
// may. folder is the open quarantine folder.
std::optional<std::string> PurgeRefusal(const PurgeSetup& setup, int folder);

// Reads the journals and the open quarantine folder: which items are due now, which later.
PurgePlan PlanPurge(const PurgeSetup& setup, int folder);

struct PurgeEvents {
  std::function<void(const PurgeItem& item)> purged;
  std::function<void(const std::string& text)> warning;
  std::function<void(const std::string& text)> message;
};

struct PurgeResult {
  bool refused = false;
  std::int64_t items = 0, bytes = 0, errors = 0;
};

// Purges the due items of the quarantine (only those named in only, when given): each is
// checked again, a folder renamed to a locked Kestrel temporary first, then deleted without
// following links or entering mounts, and recorded in its journal with a "purged" line.
// Temporaries a crashed purge left are finished first.
PurgeResult RunPurge(const PurgeSetup& setup, const PurgeEvents& events,
                     const std::set<std::string>* only = nullptr);

// Opens the quarantine folder for a purge. Returns 0 or the errno.
int OpenQuarantine(Sys& sys, const std::string& quarantine, Fd& out);

// The home folders of the password database and $HOME.
std::vector<std::string> HomeFolders(Sys& sys);

// The purge of the quarantine folder of a configuration run from program_folder: its
// journals, and the home folders and program folder guarded. A relative quarantine stays
// relative (and is refused).
PurgeSetup MakePurgeSetup(Sys& sys, const Clock& clock, const std::string& program_folder,
                          const std::string& quarantine, std::int32_t days);

}  // namespace kestrel::journal
