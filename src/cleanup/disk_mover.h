#pragma once

#include <functional>
#include <memory>

#include "cleanup/run_seams.h"
#include "fs/move_ops.h"
#include "journal/move_journal.h"

namespace kestrel {

class Sys;
class WarningSink;

// A real run's moves. Keeps the destination and the last source folder open between moves;
// refuses a source whose folder is no longer the one the scan listed. A failed move's warning
// goes to warnings. With a journal starter, every move is journaled: its intent before it, its
// outcome after; a move whose intent cannot be written does not happen.
class DiskMover : public Mover {
 public:
  using JournalStart = std::function<std::unique_ptr<MoveJournal>(
      const std::vector<std::string>& includes, DateTime start)>;
  DiskMover(Sys& sys, WarningSink* warnings, JournalStart start_journal = {})
      : sys_(sys), warnings_(warnings), start_journal_(std::move(start_journal)) {}

  void Starting(const std::vector<std::string>& includes, DateTime start) override;
  void CreateFolder(const std::string& folder) override;
  bool Move(const MoveRequest& request) override;
  std::uint64_t AvailableSpace(const std::string& folder) override;
  bool MovedAway(const std::string&) const override { return false; }
  journal::PurgeResult Purge(
      const journal::PurgeSetup& setup, const journal::PurgeEvents& events,
      const std::function<bool(const journal::PurgeItem&)>& listed) override {
    return journal::RunPurge(setup, events, listed);
  }

 private:
  Sys& sys_;
  WarningSink* warnings_;
  MoveCache cache_;
  JournalStart start_journal_;
  std::unique_ptr<MoveJournal> journal_;
};

}  // namespace kestrel
