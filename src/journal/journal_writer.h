#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "fs/sys.h"
#include "journal/journal_append.h"
#include "journal/move_journal.h"
#include "platform/clock.h"

namespace kestrel::journal {

// The journal of one run: a file in folder, created at the first intent and removed at the
// end when no move succeeded (a run that moves nothing leaves none), named after the run's
// start. Lines are gathered and written, then
// synced, at least every 1,000 files or 100 ms and when the journal is finished; an intent
// asked for at once is written before Intent returns.
class JournalWriter final : public MoveJournal {
 public:
  struct Run {
    std::string folder;  // the journal folder, made when missing
    DateTime start;
    std::string config;
    std::string quarantine;             // empty: the Trash
    std::vector<std::string> includes;  // the include folders the files are found under
    int keep = 100;                     // journals kept, this one included
  };
  JournalWriter(Sys& sys, const Clock& clock, Run run);
  ~JournalWriter() override;
  JournalWriter(const JournalWriter&) = delete;
  JournalWriter& operator=(const JournalWriter&) = delete;

  std::uint64_t Intent(const FileFacts& file, bool at_once) override;
  void Outcome(std::uint64_t entry, const MovePlaced& placed) override;
  // Writes the end line and syncs. Returns 0 or the first errno the journal met.
  int Finish();
  // The journal's path; empty until the first intent, and again once a journal without moves
  // is removed.
  const std::string& Path() const { return path_; }

 private:
  int Create();
  int Append(const std::string& line, bool now = false);
  IncludeFacts IncludeOf(const std::string& path);

  Sys& sys_;
  const Clock& clock_;
  Run run_;
  std::string path_;
  std::optional<JournalAppend> append_;
  int error_ = 0;
  bool finished_ = false;
  bool moved_ = false;  // a "moved" line was written
  std::uint64_t next_ = 1;
  std::vector<IncludeFacts> includes_;  // by the index in run_.includes; path empty: unknown
  std::vector<bool> include_read_;
};

// Names of the run journals in folder (without their suffix), oldest first.
std::vector<std::string> ListRuns(Sys& sys, const std::string& folder);
// Removes the oldest journals of folder until at most keep are left, not counting (nor
// removing) those that name an item still in their quarantine folder. Returns 0 or an errno.
int PruneJournals(Sys& sys, const std::string& folder, int keep);

}  // namespace kestrel::journal
