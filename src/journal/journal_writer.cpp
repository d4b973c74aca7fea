#include "journal/journal_writer.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

#include "fs/dir_entries.h"
#include "fs/move_ops.h"
#include "fs/path_walk.h"
#include "journal/journal_append.h"
#include "journal/journal_reader.h"
#include "journal/journal_text.h"

namespace kestrel::journal {
namespace {

// A run's journal name: the start time, then "-2", "-3", ... for later runs in that second.
bool IsRunName(std::string_view name) {
  if (name.size() < 19) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    const char c = name[i];
    const bool digit = c >= '0' && c <= '9';
    if (i >= 19) {
      if (i == 19 ? c != '-' : !digit) return false;
    } else if (i == 4 || i == 7 || i == 13 || i == 16) {
      if (c != '-') return false;
    } else if (i == 10) {
      if (c != 'T') return false;
    } else if (!digit) {
      return false;
    }
  }
  return name.size() != 20;
}

}  // namespace

JournalWriter::JournalWriter(Sys& sys, const Clock& clock, Run run)
    : sys_(sys), clock_(clock), run_(std::move(run)), ids_(sys, kFormatVersion) {
  includes_.resize(run_.includes.size());
  include_read_.resize(run_.includes.size());
}

JournalWriter::~JournalWriter() {
  Finish();
}

int JournalWriter::Create() {
  if (sys_.MkdirAt(AT_FDCWD, run_.folder.c_str(), 0700) == 0) {
    // A power cut may otherwise take the new folder, and with it the journal of moves made.
    std::string parent, name;
    Fd above;
    if (SplitParent(run_.folder, parent, name) == 0 &&
        OpenPath(sys_, parent, O_RDONLY | O_DIRECTORY, above) == 0)
      SyncFolder(sys_, above.Get());
  } else if (errno != EEXIST) {
    return errno;
  }
  const std::string base = run_.folder + "/" + RunNameFor(run_.start);
  for (int n = 1; n < 1000; ++n) {
    const std::string path = base + (n == 1 ? "" : "-" + std::to_string(n)) + std::string(kSuffix);
    const int fd = sys_.OpenAt(AT_FDCWD, path.c_str(),
                               O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_NOFOLLOW, 0600);
    if (fd < 0 && errno == EEXIST) continue;
    if (fd < 0) return errno;
    file_ = Fd(sys_, fd);
    path_ = path;
    const std::string head = HeaderLines(run_.start, run_.config, run_.quarantine);
    if (const int err = WriteAll(sys_, fd, head.data(), head.size())) return err;
    if (sys_.Fsync(fd) != 0) return errno;
    Fd folder;
    if (OpenPath(sys_, run_.folder, O_RDONLY | O_DIRECTORY, folder) == 0) {
      SyncFolder(sys_, folder.Get());
    }
    return 0;
  }
  return EEXIST;
}

int JournalWriter::Sync() {
  if (error_ != 0) return error_;
  if (!file_.Valid() && (error_ = Create()) != 0) return error_;
  if (!pending_.empty()) error_ = WriteAll(sys_, file_.Get(), pending_.data(), pending_.size());
  pending_.clear();
  if (error_ == 0 && sys_.Fsync(file_.Get()) != 0) error_ = errno;
  return error_;
}

IncludeFacts JournalWriter::IncludeOf(const std::string& path) {
  size_t best = run_.includes.size();
  for (size_t i = 0; i < run_.includes.size(); ++i) {
    if (!Within(run_.includes[i], path)) continue;
    if (best == run_.includes.size() || run_.includes[i].size() > run_.includes[best].size())
      best = i;
  }
  if (best == run_.includes.size()) return {};
  if (!include_read_[best]) {
    include_read_[best] = true;
    IncludeFacts& facts = includes_[best];
    struct stat own, target;
    const std::string& folder = run_.includes[best];
    if (sys_.FStatAt(AT_FDCWD, folder.c_str(), &own, AT_SYMLINK_NOFOLLOW) == 0 &&
        sys_.FStatAt(AT_FDCWD, folder.c_str(), &target, 0) == 0 && S_ISDIR(target.st_mode)) {
      facts = {folder, target.st_dev, target.st_ino, S_ISLNK(own.st_mode),
               ids_.OfPath(folder, target.st_dev)};
      while (facts.path.size() > 1 && facts.path.back() == '/') facts.path.pop_back();
    }
  }
  return includes_[best];
}

const std::string& JournalWriter::OwnersOf(const std::string& include, const std::string& parent) {
  if (parent == owners_parent_) return owners_;
  owners_parent_ = parent;
  owners_.clear();
  if (!Within(include, parent)) return owners_;
  for (size_t slash = include == "/" ? 0 : include.size(); slash != std::string::npos;) {
    const size_t next = parent.find('/', slash + 1);
    const std::string folder = parent.substr(0, next);
    struct stat st;
    if (sys_.FStatAt(AT_FDCWD, folder.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
      owners_.clear();  // unknown: a restore then makes folders as it always did
      break;
    }
    char one[64];
    std::snprintf(one, sizeof one, "%s%u:%u:%o", owners_.empty() ? "" : "/",
                  static_cast<unsigned>(st.st_uid), static_cast<unsigned>(st.st_gid),
                  static_cast<unsigned>(st.st_mode & 07777));
    owners_ += one;
    slash = next;
  }
  return owners_;
}

std::string JournalWriter::Intent(std::uint64_t number, const FileFacts& given) {
  FileFacts file = given;
  file.original = AbsolutePath(sys_, given.original);
  const IncludeFacts include = IncludeOf(file.original);
  std::string parent, name;
  SplitParent(file.original, parent, name);
  if (S_ISLNK(file.mode)) ReadLinkLeavingTimes(sys_, AT_FDCWD, file.original, file.detail);
  file.fs = ids_.OfPath(parent, file.dev);
  file.owners = include.path.empty() ? "" : OwnersOf(include.path, parent);
  return IntentLine(number, file, include);
}

std::uint64_t JournalWriter::Announce(const std::vector<FileFacts>& files) {
  const std::uint64_t first = next_;
  if (files.empty()) return first;
  for (const FileFacts& file : files) pending_ += Intent(next_++, file);
  if (const int err = Sync()) {
    errno = err;
    return 0;
  }
  return first;
}

void JournalWriter::Outcome(std::uint64_t entry, const MovePlaced& placed) {
  if (error_ != 0 || !file_.Valid()) return;
  const DateTime when = clock_.Now();
  if (placed.error != 0) {
    pending_ += FailedLine(entry, when, placed.error);
    return;
  }
  const std::string path = AbsolutePath(sys_, placed.path);
  const std::string info = placed.info_path.empty() ? "" : AbsolutePath(sys_, placed.info_path);
  std::string parent, name;
  SplitParent(path, parent, name);
  moved_ = true;
  pending_ += MovedLine(entry, when, path, info,
                        Tab(ids_.OfPath(parent, placed.dev)) + Tab(std::to_string(placed.ino)));
}

int JournalWriter::Finish() {
  if (finished_ || !file_.Valid()) return error_;
  finished_ = true;
  if (!moved_) {
    // Nothing to restore: the journal would only make an empty "last" run.
    file_.Reset();
    if (sys_.UnlinkAt(AT_FDCWD, path_.c_str(), 0) == 0) path_.clear();
    return error_;
  }
  if (error_ == 0) pending_ += EndLine(clock_.Now());
  Sync();
  if (file_.Reset() != 0 && error_ == 0) error_ = errno;
  // Only now, so that a run which keeps no journal costs no older one.
  PruneJournals(sys_, run_.folder, run_.keep);
  return error_;
}

std::vector<std::string> ListRuns(Sys& sys, const std::string& folder) {
  std::vector<std::string> names;
  Fd dir;
  if (OpenPath(sys, folder, O_RDONLY | O_DIRECTORY, dir) != 0) return names;
  ForEachEntry(sys, dir.Get(), [&](const char* name, size_t len, unsigned char) {
    const std::string_view text(name, len);
    if (text.ends_with(kSuffix) &&
        IsRunName(text.substr(0, len - std::string_view(kSuffix).size())))
      names.emplace_back(text.substr(0, len - std::string_view(kSuffix).size()));
  });
  // "-N" sorts after the plain name of its second only when compared by number.
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    const int c = a.compare(0, 19, b, 0, 19);
    if (c != 0) return c < 0;
    if (a.size() != b.size()) return a.size() < b.size();
    return a < b;
  });
  return names;
}

namespace {

// Returns true iff the journal names an item still in its quarantine folder, as the very item
// it moved where the journal knows its inode (a later run may have taken the name): the purge
// needs the journal to know the item.
bool HoldsQuarantined(Sys& sys, const std::string& folder, const std::string& name) {
  RunJournal run;
  if (ReadJournal(sys, folder, name, run) != 0 || run.quarantine.empty()) return false;
  for (const Entry& e : run.entries) {
    struct stat st;
    if (e.state == State::kMoved &&
        sys.FStatAt(AT_FDCWD, e.placed.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
        (e.placed_ino == 0 || st.st_ino == e.placed_ino))
      return true;
  }
  return false;
}

}  // namespace

int PruneJournals(Sys& sys, const std::string& folder, int keep) {
  std::vector<std::string> runs = ListRuns(sys, folder);
  // Reading every journal costs a run as much as its moves: only worth it when some must go.
  if (keep < 0 || runs.size() <= static_cast<size_t>(keep)) return 0;
  std::erase_if(runs, [&](const std::string& name) { return HoldsQuarantined(sys, folder, name); });
  int first = 0;
  for (size_t i = 0; keep >= 0 && i + static_cast<size_t>(keep) < runs.size(); ++i) {
    const std::string path = folder + "/" + runs[i] + kSuffix;
    if (sys.UnlinkAt(AT_FDCWD, path.c_str(), 0) != 0 && first == 0) first = errno;
  }
  return first;
}

}  // namespace kestrel::journal
