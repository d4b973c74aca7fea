#include "cleanup/clean_up_run.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <exception>
#include <functional>
#include <unordered_set>

#include "cleanup/discovery.h"
#include "cleanup/path_text.h"
#include "config/kestrel_cfg.h"
#include "fs/destination_folders.h"
#include "fs/tree_size.h"
#include "platform/error.h"
#include "platform/escape_text.h"

namespace kestrel {
namespace {

constexpr std::int64_t kMegabyte = 1000000;

std::string SignalName(int signal) {
  switch (signal) {
    case SIGTERM:
      return "SIGTERM";
    case SIGINT:
      return "SIGINT";
    case SIGHUP:
      return "SIGHUP";
    default:
      return "signal " + std::to_string(signal);
  }
}

std::string Fixed(double value, const char* format) {
  char buf[64];
  std::snprintf(buf, sizeof buf, format, value);
  return buf;
}

// The quarantine's device. A folder a preview has not made yet will be made in its parent;
// a folder that cannot be reached is no drive of any file.
std::optional<dev_t> QuarantineDevice(Win32Wrapper& fs, const std::string& folder) {
  try {
    return fs.Stat(folder, true).dev;
  } catch (const KsError&) {
  }
  const std::string_view path = WithoutTrailingSlash(folder);
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return std::nullopt;
  try {
    return fs.Stat(std::string(path.substr(0, std::max<size_t>(slash, 1))), true).dev;
  } catch (const KsError&) {
    return std::nullopt;
  }
}

}  // namespace

CleanUpRun::CleanUpRun(const RunWorld& world, const KestrelCfg& cfg, RunRecorder& recorder,
                       Mover& mover, std::vector<RemovedFilePtr>& records,
                       const std::vector<ListedFile>* listed)
    : world_(world),
      cfg_(cfg),
      recorder_(recorder),
      mover_(mover),
      records_(records),
      listed_(listed) {}

RunEnd CleanUpRun::Run() {
  const DateTime start = world_.outside.clock.Now();
  recorder_.Started();

  const DateTime now = world_.outside.clock.Now();
  if (cfg_.LastRunDate() >= now) {
    recorder_.Refused("Today's date is prior to the previously recorded run date");
    return RunEnd::kClockRefused;
  }
  recorder_.Passed(cfg_.LastRunDate(), now);

  const std::string& quarantine = cfg_.QuarantineFolder();
  Win32Wrapper fs(world_.outside.sys);
  if (!quarantine.empty() && !fs.FolderExists(quarantine)) {
    if (fs.FileExists(quarantine)) {
      throw KsError(kAppError,
                    "The quarantine folder cannot be created because a file with the same name "
                    "exists",
                    "KestrelCfg.CleanUp");
    }
    mover_.CreateFolder(quarantine);
  }

  const FolderList include = cfg_.IncludeFolders().empty()
                                 ? MakeFolderList("", fs.GetLocalDrives(), true)
                                 : cfg_.IncludeFolders();
  std::vector<std::string> include_paths;
  for (const Folder2Clean& f : include) include_paths.push_back(f.FolderName());
  mover_.Starting(include_paths, start);
  std::vector<std::string> candidates;
  std::vector<const ListedFile*> listed_moves;
  if (listed_ != nullptr) {
    for (const ListedFile& file : *listed_) {
      if (file.purge) continue;
      candidates.push_back(file.path);
      listed_moves.push_back(&file);
    }
  } else {
    // Known before the scan, so that what earlier runs moved is never moved again.
    DestinationFolders destinations(world_.outside.sys, quarantine);
    candidates = GetTargetFiles(world_.outside, cfg_, include, cfg_.ExcludeFolders(),
                                BuildFileMask(cfg_), recorder_, &scanned_, &destinations);
  }
  std::int64_t due = 0;
  for (const auto& path : candidates) {
    const std::optional<DateTime> date = ReadRemovalDate(path, cfg_.PrefixToken());
    due += date && *date <= now ? 1 : 0;
  }
  recorder_.Discovered(due);

  records_.clear();
  RunEnd end = RunEnd::kCompleted;
  std::int64_t bytes_moved = 0;
  std::int32_t errors = 0;
  const std::int64_t byte_limit = static_cast<std::int64_t>(cfg_.MaxMBPerRun()) * kMegabyte;
  const auto error_counted = [&] {
    if (++errors < cfg_.MaxErrorsPerRun() || end != RunEnd::kCompleted) return;
    end = RunEnd::kErrorLimit;
    recorder_.Stopped(end,
                      "File removal was stopped because the maximum number of errors was reached.");
  };
  // A copy to another file system that the mover holds until its group is durable is said to
  // be moved only once it is, before anything else is said, so that the lines keep their order.
  std::vector<RemovedFilePtr> held;
  const auto settle = [&] {
    if (held.empty()) return;
    const std::vector<int> outcomes = mover_.Settle();
    for (size_t k = 0; k < held.size(); ++k) {
      if (k < outcomes.size() && outcomes[k] == 0) {
        recorder_.FileMoved(held[k]);
        continue;
      }
      held[k]->FileMoved(false);
      bytes_moved -= held[k]->FileSize();
      error_counted();
    }
    held.clear();
  };
  const auto stopped_by_user = [&] {
    if (!recorder_.StopRequested()) return false;
    settle();
    if (end != RunEnd::kCompleted) return true;
    if (const int signal = recorder_.StopSignal()) {
      end = RunEnd::kStoppedBySignal;
      recorder_.Stopped(end, "Run stopped by a signal (" + SignalName(signal) + ")");
    } else {
      end = RunEnd::kStoppedByUser;
      recorder_.Stopped(end, "Run stopped by the user");
    }
    return true;
  };
  // Files are judged a batch at a time, so that the mover can put the whole batch on record
  // before the first of them moves; what the judgement says is said in the order of the files.
  struct Judged {
    size_t index;
    std::string path;
    Win32Wrapper::FileInfo info;
    bool due, warn;
    bool unlisted;  // a preview listed it, and it is not as listed or not due any more
  };
  const auto judge = [&](Judged& j) {
    // What a preview listed is moved only as it was listed; anything else is no error.
    const bool changed = listed_ != nullptr && !StillAsListed(*listed_moves[j.index]);
    j.warn = false;
    j.due = !changed && FileIsExpired(j.path, j.info, &j.warn);
    j.unlisted = listed_ != nullptr && !j.due;
  };
  const size_t batch_size = std::max<size_t>(1, mover_.BatchSize());
  std::vector<Judged> judged;
  std::vector<std::pair<std::string, Win32Wrapper::FileInfo>> batch;
  for (size_t next = 0; next < candidates.size() && end == RunEnd::kCompleted;) {
    judged.clear();
    batch.clear();
    while (next < candidates.size() && batch.size() < batch_size) {
      if (stopped_by_user()) break;
      const size_t i = next++;
      Judged j{i, candidates[i], {}, false, false, false};
      judge(j);
      if (j.due) batch.emplace_back(j.path, j.info);
      if (j.due || j.warn || j.unlisted) judged.push_back(std::move(j));
    }
    mover_.Announce(batch);
    // What an earlier move of the batch took away (a folder, or the same path listed twice)
    // was judged before it went: judged again, as it would have been one file at a time, so
    // that it is neither moved nor warned of.
    std::unordered_set<std::string> moved;
    bool folder_moved = false;
    for (Judged& j : judged) {
      if (end != RunEnd::kCompleted || stopped_by_user()) break;
      if (folder_moved || moved.count(j.path) != 0) {
        settle();
        judge(j);
      }
      if (j.warn || j.unlisted) settle();
      if (j.warn) {
        recorder_.Warning(
            "Deletion date is before file creation date: " + EscapeControlBytes(j.path), false);
      }
      if (j.unlisted) {
        recorder_.Warning("Not moved, changed since the preview: " + EscapeControlBytes(j.path),
                          true);
      }
      if (!j.due) continue;
      const RemovedFilePtr record = MoveIt(j.path);
      if (record->FileMoved()) {
        moved.insert(j.path);
        folder_moved = folder_moved || j.info.is_directory;
        if (mover_.Holds(j.path)) {
          held.push_back(record);
        } else {
          settle();
          recorder_.FileMoved(record);
        }
        bytes_moved += record->FileSize();
        if (bytes_moved >= byte_limit) settle();
        if (end == RunEnd::kCompleted && bytes_moved >= byte_limit) {
          end = RunEnd::kMegabyteLimit;
          recorder_.Stopped(
              end, "File removal was stopped because the maximum MB per run setting was reached.");
        }
        continue;
      }
      settle();
      if (record->FileIsReadOnly()) {
        recorder_.Warning("File cannot be moved because it is read-only: " +
                              EscapeControlBytes(record->OriginalFilename()),
                          true);
      }
      error_counted();
    }
    settle();
    mover_.BatchEnd();
  }

  // A stop during the scan, or after the last file, ends the run all the same.
  if (end == RunEnd::kCompleted) stopped_by_user();

  const bool purging = cfg_.PurgeAfterDays() > 0 && !quarantine.empty();
  std::int64_t purged = 0;
  if (purging && (end == RunEnd::kCompleted || end == RunEnd::kMegabyteLimit)) {
    journal::PurgeSetup setup =
        journal::MakePurgeSetup(world_.outside.sys, world_.outside.clock,
                                world_.outside.program_folder, quarantine, cfg_.PurgeAfterDays());
    setup.max_errors = std::max<std::int64_t>(cfg_.MaxErrorsPerRun() - errors, 0);
    journal::PurgeEvents events;
    events.purged = [&](const journal::PurgeItem& item) { recorder_.Purged(item); };
    events.warning = [&](const std::string& text) { recorder_.Warning(text, true); };
    // After a preview, only what it listed, and only while it is still that item.
    std::function<bool(const journal::PurgeItem&)> listed;
    if (listed_ != nullptr) {
      listed = [this](const journal::PurgeItem& item) {
        return std::any_of(listed_->begin(), listed_->end(), [&](const ListedFile& l) {
          return l.purge && l.path == item.path && l.dev == item.dev && l.ino == item.ino;
        });
      };
    }
    const journal::PurgeResult result = mover_.Purge(setup, events, listed);
    recorder_.PurgeEnded(result);
    purged = result.items;
  }

  std::int64_t files_moved = 0;
  std::int64_t total_bytes = 0;
  for (const auto& record : records_) {
    if (!record->FileMoved()) continue;
    ++files_moved;
    total_bytes += record->FileSize();
  }
  const auto elapsed = static_cast<double>(world_.outside.clock.Now().Seconds() - start.Seconds());
  std::vector<std::string> summary = {
      "Folders scanned: " + std::to_string(world_.folders_scanned),
      "Files moved or deleted: " + std::to_string(files_moved),
      "Total MB moved or deleted: " + Fixed(static_cast<double>(total_bytes) / kMegabyte, "%.2f"),
      "Elapsed time: " + Fixed(elapsed, "%.1f") + " seconds",
  };
  if (purging) summary.push_back("Items purged: " + std::to_string(purged));
  summary.push_back("Kestrel completed");
  recorder_.Summary(summary);
  return end;
}

bool CleanUpRun::FileIsExpired(const std::string& path, Win32Wrapper::FileInfo& info) {
  bool warn = false;
  const bool due = FileIsExpired(path, info, &warn);
  if (warn) {
    recorder_.Warning("Deletion date is before file creation date: " + EscapeControlBytes(path),
                      false);
  }
  return due;
}

bool CleanUpRun::FileIsExpired(const std::string& path, Win32Wrapper::FileInfo& info, bool* warn) {
  *warn = false;
  try {
    if (!Win32Wrapper::PathMatchesSpec(path, BuildFileMask(cfg_))) return false;
    // What an earlier move of this run took away is no candidate any more, as on the disk.
    if (mover_.MovedAway(path) || InsideMovedFolder(path)) return false;
    const std::optional<DateTime> date = ReadRemovalDate(path, cfg_.PrefixToken());
    info = Win32Wrapper(world_.outside.sys).Stat(path);
    const Verdict verdict = Judge(date, info.stamp, world_.outside.clock.Now());
    *warn = verdict == Verdict::kBeforeStamp;
    return verdict == Verdict::kDue;
  } catch (...) {
    ReportHandled(world_.outside.reporter, "KestrelCfg.FileIsExpired", std::current_exception());
    return false;
  }
}

RemovedFilePtr CleanUpRun::MoveIt(const std::string& path) {
  auto record = std::make_shared<RemovedFile>();
  try {
    Win32Wrapper fs(world_.outside.sys);
    record->OriginalFilename(path);
    // Read here, not taken from the judgement, so that a file gone since then is reported
    // and left out of the records.
    Win32Wrapper::FileInfo info = fs.Stat(path);
    if (info.is_directory) info.size = FolderBytes(world_.outside.sys, path);
    record->FileSize(info.size);
    record->FileCreationDate(info.stamp);
    records_.push_back(record);

    record->FileIsReadOnly(fs.FileIsReadOnly(path, info));
    if (record->FileIsReadOnly()) return record;

    const std::string& quarantine = cfg_.QuarantineFolder();
    // Only a move to another file system copies, so only such a move needs room.
    const bool copies = !quarantine.empty() && !OnQuarantineDrive(fs, info.dev);
    if (copies) {
      const std::uint64_t available = mover_.AvailableSpace(quarantine);
      record->InsufficientSpace(available < static_cast<std::uint64_t>(info.size));
      if (record->InsufficientSpace()) {
        recorder_.Warning("Insufficient space available", false);
        return record;
      }
    }
    record->FileMoved(mover_.Move(MoveRequest{path, info, quarantine, copies, scanned_}));
    if (record->FileMoved() && info.is_directory) moved_folders_.insert(path);
  } catch (...) {
    ReportHandled(world_.outside.reporter, "KestrelCfg.MoveIt", std::current_exception());
    record->FileMoved(false);
  }
  return record;
}

bool CleanUpRun::InsideMovedFolder(const std::string& path) const {
  if (moved_folders_.empty()) return false;
  std::string_view rest = path;
  for (size_t slash; (slash = rest.find_last_of('/')) != std::string_view::npos && slash > 0;) {
    rest = rest.substr(0, slash);
    if (moved_folders_.count(std::string(rest)) != 0) return true;
  }
  return false;
}

bool CleanUpRun::StillAsListed(const ListedFile& file) {
  try {
    const Win32Wrapper::FileInfo now = Win32Wrapper(world_.outside.sys).Stat(file.path);
    return now.dev == file.dev && now.ino == file.ino;
  } catch (const KsError&) {
    return false;
  }
}

bool CleanUpRun::OnQuarantineDrive(Win32Wrapper& fs, dev_t dev) {
  if (!quarantine_dev_) quarantine_dev_ = QuarantineDevice(fs, cfg_.QuarantineFolder());
  return *quarantine_dev_ == dev;
}

}  // namespace kestrel
