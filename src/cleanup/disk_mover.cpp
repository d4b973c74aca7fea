#include "cleanup/disk_mover.h"

#include <cerrno>
#include <utility>

#include "fs/win32_wrapper.h"
#include "platform/error.h"

namespace kestrel {
namespace {

journal::FileFacts FactsOf(const std::string& path, const Win32Wrapper::FileInfo& info) {
  journal::FileFacts f;
  f.original = path;
  f.size = info.size;
  f.mode = info.mode;
  f.mtime = info.mtime;
  f.dev = info.dev;
  f.ino = info.ino;
  f.uid = info.uid;
  f.gid = info.gid;
  return f;
}

}  // namespace

void DiskMover::CreateFolder(const std::string& folder) {
  Win32Wrapper fs(sys_);
  try {
    // Only its user may put things into what a purge empties.
    fs.CreateFolder(folder, 0700);
  } catch (const KsError& e) {
    // Another process may have made it meanwhile.
    if (e.Number() != EEXIST || !fs.FolderExists(folder)) throw;
  }
}

void DiskMover::Starting(const std::vector<std::string>& includes, DateTime start) {
  if (start_journal_) journal_ = start_journal_(includes, start);
}

void DiskMover::Announce(const std::vector<std::pair<std::string, Win32Wrapper::FileInfo>>& files) {
  BatchEnd();
  if (!journal_ || files.empty()) return;
  std::vector<journal::FileFacts> facts;
  facts.reserve(files.size());
  for (const auto& [path, info] : files) facts.push_back(FactsOf(path, info));
  const std::uint64_t first = journal_->Announce(facts);
  announce_error_ = first == 0 ? errno : 0;
  if (first == 0) return;
  for (size_t i = 0; i < files.size(); ++i) batch_.push_back({files[i].first, first + i, false});
}

void DiskMover::FinishGroup() {
  if (group_.Empty()) return;
  Win32Wrapper fs(sys_, warnings_);
  size_t i = 0;
  group_.Finish([&](const CopyGroup::Done& done) {
    const Grouped& g = grouped_[i++];
    MovePlaced placed;
    placed.error = done.error;
    placed.path =
        g.to_folder.ends_with('/') ? g.to_folder + done.placed : g.to_folder + "/" + done.placed;
    placed.dev = done.dev;
    placed.ino = done.ino;
    placed.not_kept = done.not_kept;
    fs.MoveWarning(g.path, placed);
    journal_->Outcome(g.entry, placed);
    settled_.push_back(done.error);
  });
  grouped_.clear();
  grouped_paths_.clear();
}

std::vector<int> DiskMover::Settle() {
  FinishGroup();
  return std::exchange(settled_, {});
}

void DiskMover::BatchEnd() {
  FinishGroup();
  if (journal_) {
    MovePlaced cancelled;
    cancelled.error = ECANCELED;
    for (const Announced& a : batch_)
      if (!a.handed) journal_->Outcome(a.entry, cancelled);
  }
  batch_.clear();
  next_ = 0;
}

bool DiskMover::Move(const MoveRequest& request) {
  Win32Wrapper fs(sys_, warnings_, &request.scanned, &cache_);
  if (!journal_) return fs.MoveFile(request.path, request.to_folder);
  std::uint64_t entry = 0;
  for (size_t i = next_; i < batch_.size() && entry == 0; ++i) {
    if (batch_[i].handed || batch_[i].path != request.path) continue;
    batch_[i].handed = true;
    entry = batch_[i].entry;
    next_ = i + 1;
  }
  if (entry == 0 && announce_error_ == 0) {
    // Not announced: recorded on its own, durably, before it moves.
    entry = journal_->Announce({FactsOf(request.path, request.info)});
  }
  // A move the journal cannot record could not be undone, so it does not happen.
  if (entry == 0) {
    throw SystemError(announce_error_ != 0 ? announce_error_ : errno, "write", "journal",
                      "KestrelCfg.MoveIt");
  }
  // A folder's copy would take along what the group still holds of it.
  if (request.info.is_directory) FinishGroup();
  MovePlaced placed;
  const bool moved = fs.MoveFile(request.path, request.to_folder, &placed,
                                 request.to_folder.empty() ? nullptr : &group_);
  if (placed.grouped) {
    grouped_.push_back({request.path, request.to_folder, entry});
    grouped_paths_.insert(request.path);
    if (group_.Full()) FinishGroup();
    return true;
  }
  journal_->Outcome(entry, placed);
  return moved;
}

std::uint64_t DiskMover::AvailableSpace(const std::string& folder) {
  return Win32Wrapper(sys_).GetAvailableSpace(folder);
}

}  // namespace kestrel
