#pragma once

#include <chrono>
#include <string>
#include <utility>

#include "fs/fd.h"
#include "fs/sys.h"

namespace kestrel::journal {

// Adds lines to an existing journal. Lines are gathered and written, then synced, at least
// every 1,000 files or 100 ms and at the end; a line that must be on record before the step it
// announces (a copy that a crash could leave whole beside its source) is written at once.
class JournalAppend {
 public:
  JournalAppend(Sys& sys, const std::string& path) : sys_(sys), path_(path) {}
  // Over a journal already open for appending.
  JournalAppend(Sys& sys, Fd file) : sys_(sys), file_(std::move(file)) {}
  ~JournalAppend() { Finish(); }
  JournalAppend(const JournalAppend&) = delete;
  JournalAppend& operator=(const JournalAppend&) = delete;

  // Returns 0 or the errno; after a failure every later call fails the same way.
  int Line(const std::string& line, bool now = false);
  // Writes what is gathered and syncs it. Returns 0 or the errno.
  int Sync();
  // Writes what is gathered, syncs and closes. Returns 0 or the first errno met.
  int Finish();
  // Closes without writing what is gathered, for a journal about to be removed.
  void Discard() {
    pending_.clear();
    file_.Reset();
  }

 private:
  Sys& sys_;
  std::string path_;
  Fd file_;
  int Flush();

  int error_ = 0;
  std::string pending_;
  int unsynced_ = 0;
  std::chrono::steady_clock::time_point first_unsynced_;
};

// Returns true iff path lies below folder (not folder itself).
bool Within(const std::string& folder, const std::string& path);

// Whether the entry name below dir is what a journal recorded: same type, stamp to the
// nanosecond and, for a regular file or a link (its target's length), size.
struct Recorded {
  mode_t mode = 0;
  std::int64_t size = 0;
  struct timespec mtime {};
};
bool Matches(const struct stat& st, const Recorded& r);

// Returns true iff the two regular files hold the same bytes.
bool SameContent(Sys& sys, int dir_a, const std::string& a, int dir_b, const std::string& b);
// Returns true iff the two entries hold the same: files the same bytes, links the same target,
// folders the same names holding the same, recursively. Special files never match.
// With within set, folder a may lack names of folder b (a source partly removed).
bool SameEntry(Sys& sys, int dir_a, const std::string& a, int dir_b, const std::string& b,
               bool within = false);

}  // namespace kestrel::journal
