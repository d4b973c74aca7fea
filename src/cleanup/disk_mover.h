#pragma once

#include <functional>
#include <memory>
#include <unordered_set>

#include "cleanup/run_seams.h"
#include "fs/move_ops.h"
#include "journal/move_journal.h"

namespace kestrel {

class Sys;
class WarningSink;

// A real run's moves. Keeps the destination and the last source folder open between moves;
// refuses a source whose folder is no longer the one the scan listed. A failed move's warning
// goes to warnings. With a journal starter, every move is journaled: the intents of a batch
// reach the disk before any of its moves, the outcomes after; a move whose intent cannot be
// written does not happen, and an announced file never handed to Move is recorded as failed
// with ECANCELED. Copies to another file system are made durable a group at a time: a Move
// that copies returns before its source goes, and BatchEnd (or the group filling) finishes it;
// what that finds is recorded in the journal and warned of.
class DiskMover final : public Mover {
 public:
  using JournalStart = std::function<std::unique_ptr<MoveJournal>(
      const std::vector<std::string>& includes, DateTime start)>;
  DiskMover(Sys& sys, WarningSink* warnings, JournalStart start_journal = {})
      : sys_(sys), warnings_(warnings), start_journal_(std::move(start_journal)) {}
  ~DiskMover() override { BatchEnd(); }
  DiskMover(const DiskMover&) = delete;
  DiskMover& operator=(const DiskMover&) = delete;

  void Starting(const std::vector<std::string>& includes, DateTime start) override;
  void CreateFolder(const std::string& folder) override;
  size_t BatchSize() const override { return journal_ ? 1000 : 1; }
  void Announce(const std::vector<std::pair<std::string, Win32Wrapper::FileInfo>>& files) override;
  bool Move(const MoveRequest& request) override;
  void BatchEnd() override;
  std::uint64_t AvailableSpace(const std::string& folder) override;
  bool Holds(const std::string& path) const override { return grouped_paths_.count(path) != 0; }
  std::vector<int> Settle() override;
  bool MovedAway(const std::string& path) const override { return grouped_paths_.count(path); }
  journal::PurgeResult Purge(
      const journal::PurgeSetup& setup, const journal::PurgeEvents& events,
      const std::function<bool(const journal::PurgeItem&)>& listed) override {
    return journal::RunPurge(setup, events, listed);
  }

 private:
  struct Announced {
    std::string path;
    std::uint64_t entry = 0;
    bool handed = false;
  };

  struct Grouped {
    std::string path, to_folder;
    std::uint64_t entry = 0;
  };
  // Names the group's copies and records their outcomes.
  void FinishGroup();

  Sys& sys_;
  WarningSink* warnings_;
  MoveCache cache_;
  // A journaled run's copies to another file system, synced a group at a time: their intents
  // are durable already, their outcomes follow the group's Finish.
  CopyGroup group_{sys_};
  std::vector<Grouped> grouped_;
  std::unordered_set<std::string> grouped_paths_;  // still on the disk, moved all the same
  std::vector<int> settled_;  // how each finished group's moves ended, until Settle hands it on
  JournalStart start_journal_;
  std::unique_ptr<MoveJournal> journal_;
  std::vector<Announced> batch_;
  size_t next_ = 0;  // where in batch_ the next Move is looked for
  int announce_error_ = 0;
};

}  // namespace kestrel
