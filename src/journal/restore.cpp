#include "journal/restore.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>
#include <utility>

#include "fs/make_folder.h"
#include "fs/move_ops.h"
#include "fs/path_walk.h"
#include "fs/trash_info.h"
#include "journal/identity.h"
#include "journal/journal_append.h"
#include "journal/journal_reader.h"
#include "journal/journal_text.h"
#include "platform/escape_text.h"

namespace kestrel::journal {
namespace {

constexpr int kWalkFlags = O_PATH | O_DIRECTORY | O_NOFOLLOW;

std::string Describe(int err) {
  return std::strerror(err);
}

// The entry's place in its trash folder: T/files/NAME with T/info/NAME.trashinfo beside it.
bool TrashPlaceIsSound(const Entry& e) {
  const size_t slash = e.placed.rfind('/');
  if (slash == std::string::npos) return false;
  const std::string name = e.placed.substr(slash + 1);
  const std::string files = e.placed.substr(0, slash);
  if (!files.ends_with("/files")) return false;
  const std::string trash = files.substr(0, files.size() - 6);
  const size_t tslash = trash.rfind('/');
  const std::string_view leaf =
      tslash == std::string::npos ? std::string_view() : std::string_view(trash).substr(tslash + 1);
  const bool trash_name = leaf == "Trash" || leaf.starts_with(".Trash-") ||
                          std::string_view(trash).substr(0, tslash).ends_with("/.Trash");
  return trash_name && e.info == trash + "/info/" + name + ".trashinfo";
}

struct Restorer {
  Sys& sys;
  const Clock& clock;
  RunJournal& run;
  const RestoreOptions& options;
  const RestoreEvents& events;
  JournalAppend append;
  RestoreResult result;
  MoveCache sources;  // the last quarantine or trash folder, kept open
  // The last original folder walked to, kept open, and what it was walked from.
  struct Origin {
    std::string include, parent;
    std::string include_fs;
    ino_t include_ino = 0;
    Fd fd;
    dev_t dev = 0;
  } origin;
  FsIdentities ids{sys, run.version};
  CopyGroup group{sys};
  std::vector<std::pair<Entry*, std::string>> grouped{};  // with the folder each goes back to
  // Renames back into the origin folder, held until one sync of that folder: until then a
  // power cut may undo them, so the journal may not call them restored, nor .trashinfo go.
  struct Renamed {
    Entry* entry;
    std::string parent, placed;
    NotKept lost;
  };
  std::vector<Renamed> renamed{};
  bool settling = false;

  void SettleRenames() {
    if (renamed.empty()) return;
    SyncFolder(sys, origin.fd.Get());
    for (Renamed& r : std::exchange(renamed, {})) Settle(*r.entry, 0, r.parent, r.placed, r.lost);
  }
  // Says what the held renames and copies came to, before anything else is said.
  void SettleHeld() {
    if (std::exchange(settling, true)) return;
    SettleRenames();
    FinishGroup();
    settling = false;
  }

  int OriginFolder(const Entry& e, const std::string& parent, bool make = true) {
    if (origin.fd.Valid() && origin.parent == parent && origin.include == e.include.path &&
        origin.include_fs == e.include.fs && origin.include_ino == e.include.ino)
      return 0;
    SettleRenames();
    origin.fd.Reset();
    if (const int err = OpenOriginFolder(sys, e, make, origin.fd, run.version)) return err;
    struct stat st;
    if (sys.FStat(origin.fd.Get(), &st) != 0) return errno;
    origin.include = e.include.path;
    origin.parent = parent;
    origin.include_fs = e.include.fs;
    origin.include_ino = e.include.ino;
    origin.dev = st.st_dev;
    return 0;
  }

  // Format 2 records who owned the file and which inode the move left where it went: the same
  // one after a rename, the copy after a copy. A copy's folder that others can write lets them
  // forge even that.
  std::string Unsound(const Entry& e, const MoveSource& src) {
    if (e.placed_fs.empty()) return "";
    if (ids.OfFd(src.Dir(), src.st.st_dev) != e.placed_fs || src.st.st_ino != e.placed_ino ||
        src.st.st_uid != e.file.uid)
      return "changed since it was moved (" + EscapeControlBytes(e.placed) + ")";
    struct stat folder;
    const bool copied = e.placed_fs != e.file.fs || e.placed_ino != e.file.ino;
    if (copied && (sys.FStat(src.Dir(), &folder) != 0 || OthersCanWrite(folder, sys.GetUid())))
      return "others can write to " + EscapeControlBytes(src.parent_path);
    return "";
  }

  void Warn(const std::string& text) {
    SettleHeld();
    if (events.warning) events.warning(text);
  }
  void Fail(const std::string& text) {
    Warn(text);
    ++result.failed;
  }

  // Where the entry must be now, checked against the journal before anything moves.
  bool SourceIsSound(const Entry& e) {
    if (run.quarantine.empty())
      return TrashPlaceIsSound(e) && TrashInfoNames(sys, e.info, e.file.original);
    std::string parent, name;
    return SplitParent(e.placed, parent, name) == 0 && parent == run.quarantine && e.info.empty();
  }

  void One(Entry& e) {
    const std::string& original = e.file.original;
    if (e.include.path.empty() || !Within(e.include.path, original)) {
      return Fail("Not restored, the journal names no include folder above it: " +
                  EscapeControlBytes(original));
    }
    if (!SourceIsSound(e)) {
      return Fail("Not restored, the journal's record of where it went does not hold: " +
                  EscapeControlBytes(original));
    }
    MoveSource src;
    int err = OpenMoveSource(sys, nullptr, e.placed, src, &sources);
    if (err == ENOENT && BackAlready(e)) return;
    if (err == ENOENT) {
      return Fail("Not restored, no longer where the journal says (" +
                  EscapeControlBytes(e.placed) + "): " + EscapeControlBytes(original));
    }
    if (err != 0) return Fail(Failure(err, original));
    if (!Matches(src.st, {e.file.mode, e.file.size, e.file.mtime})) {
      return Fail("Not restored, changed since it was moved (" + EscapeControlBytes(e.placed) +
                  "): " + EscapeControlBytes(original));
    }
    if (const std::string why = Unsound(e, src); !why.empty())
      return Fail("Not restored, " + why + ": " + EscapeControlBytes(original));
    std::string parent, name, placed;
    SplitParent(original, parent, name);
    if ((err = OriginFolder(e, parent)) != 0) {
      if (err == ESTALE)
        return Fail("Not restored, the include folder " + EscapeControlBytes(e.include.path) +
                    " is not the one the run found it under: " + EscapeControlBytes(original));
      if (err == ELOOP || err == ENOTDIR)
        return Fail("Not restored, a link or file stands in the way: " +
                    EscapeControlBytes(original));
      return Fail(Failure(err, original));
    }
    int jerr = append.Line(RestoringLine(e.number, clock.Now()));
    // Out of the Trash it is on record before the rename too, so that the recovery removes the
    // .trashinfo a crash right after the rename leaves behind.
    if (jerr == 0 && !e.info.empty()) jerr = append.Sync();
    if (jerr != 0) {
      return Fail("Not restored, the journal cannot be written (" + Describe(jerr) +
                  "): " + EscapeControlBytes(original));
    }
    e.state = State::kRestoring;
    // A copy (the rename said EXDEV) is on record before it starts, so that a crash leaving it
    // whole beside its source can be finished; a rename leaves no such state.
    MoveSteps steps;
    steps.before_copy = [&] { return append.Sync(); };
    steps.group = &group;
    steps.group_folder = parent;
    NotKept lost = 0;
    err = MoveEntryInto(sys, src, origin.fd.Get(), origin.dev, name, options.rename, placed,
                        nullptr, &lost, &steps);
    if (steps.grouped) {
      grouped.push_back({&e, parent});
      if (group.Full()) FinishGroup();
      return;
    }
    if (err == 0 && !steps.copied) return renamed.push_back({&e, parent, placed, lost});
    SettleHeld();
    Settle(e, err, parent, placed, lost);
  }

  // The grouped copies are named only once their restoring lines are on record.
  void FinishGroup() {
    if (group.Empty()) return;
    size_t i = 0;
    group.Finish(
        [&](const CopyGroup::Done& done) {
          Settle(*grouped[i].first, done.error, grouped[i].second, done.placed, done.not_kept);
          ++i;
        },
        append.Sync());
    grouped.clear();
  }

  void Settle(Entry& e, int err, const std::string& parent, const std::string& placed,
              NotKept lost) {
    const std::string& original = e.file.original;
    if (err != 0) {
      append.Line(UnrestoredLine(e.number, clock.Now(), err));
      e.state = State::kMoved;
      if (err == EEXIST)
        return Fail("Not restored, the original path is taken: " + EscapeControlBytes(original));
      return Fail(Failure(err, original));
    }
    if (!e.info.empty()) sys.UnlinkAt(AT_FDCWD, e.info.c_str(), 0);
    const std::string to = parent + "/" + placed;
    append.Line(RestoredLine(e.number, clock.Now(), to));
    e.state = State::kRestored;
    e.restored_to = to;
    ++result.restored;
    if (lost != 0)
      Warn("Not kept on the destination (" + NotKeptText(lost) + "): " + EscapeControlBytes(to));
    if (events.restored) events.restored(e, to);
  }

  // Whether the file is at its original path already: the same inode the run moved (a rename
  // keeps it), put back by a restore whose last lines a crash lost. Recorded as restored.
  bool BackAlready(Entry& e) {
    std::string parent, name;
    struct stat st;
    if (SplitParent(e.file.original, parent, name) != 0 || OriginFolder(e, parent, false) != 0 ||
        sys.FStatAt(origin.fd.Get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
        ids.OfFd(origin.fd.Get(), st.st_dev) != e.file.fs || st.st_ino != e.file.ino ||
        !Matches(st, {e.file.mode, e.file.size, e.file.mtime}))
      return false;
    const DateTime when = clock.Now();
    append.Line(RestoringLine(e.number, when));
    append.Line(RestoredLine(e.number, when, e.file.original));
    e.state = State::kRestored;
    e.restored_to = e.file.original;
    return true;
  }

  static std::string Failure(int err, const std::string& original) {
    if (err == EACCES || err == EPERM)
      return "File access is denied: " + EscapeControlBytes(original);
    return "File system error (" + std::to_string(err) +
           ") while restoring file: " + EscapeControlBytes(original);
  }
};

}  // namespace

bool TrashInfoNames(Sys& sys, const std::string& info_path, const std::string& original) {
  std::string text;
  if (ReadWholeFile(sys, info_path, text) != 0 || text.size() > 65536) return false;
  const std::optional<std::string> path = TrashInfoPath(text);
  if (!path) return false;
  // A top folder's trash keeps the path relative to the top of its file system.
  return *path == original || ((*path)[0] != '/' && original.ends_with("/" + *path));
}

bool OthersCanWrite(const struct stat& folder, uid_t uid) {
  if ((folder.st_mode & S_ISVTX) != 0) return false;
  return (folder.st_mode & (S_IWGRP | S_IWOTH)) != 0 ||
         (folder.st_uid != uid && (folder.st_mode & S_IWUSR) != 0);
}

int OpenOriginFolder(Sys& sys, const Entry& e, bool make, Fd& out, int version) {
  const std::string& include = e.include.path;
  if (!Within(include, e.file.original)) return EINVAL;
  // The include folder itself may be a link when the run found it so; nothing below it may.
  if (const int err =
          OpenPath(sys, include, e.include.link ? O_PATH | O_DIRECTORY : kWalkFlags, out))
    return err == ENOTDIR && !e.include.link ? ELOOP : err;
  struct stat st;
  if (sys.FStat(out.Get(), &st) != 0) return errno;
  if (FsIdentities(sys, version).OfFd(out.Get(), st.st_dev) != e.include.fs ||
      st.st_ino != e.include.ino)
    return ESTALE;
  size_t pos = include == "/" ? 1 : include.size() + 1;
  const std::string& original = e.file.original;
  // A folder made again gets the owner and mode recorded for it, when the record fits the path.
  std::vector<FolderOwner> owners = ParseFolderOwners(e.file.owners);
  if (owners.size() != static_cast<size_t>(std::count(original.begin() + pos, original.end(), '/')))
    owners.clear();
  for (size_t slash = original.find('/', pos), k = 0; slash != std::string::npos;
       pos = slash + 1, slash = original.find('/', pos), ++k) {
    const std::string part = original.substr(pos, slash - pos);
    int fd = sys.OpenAt(out.Get(), part.c_str(), kWalkFlags, 0);
    if (fd < 0 && errno == ENOENT && make) {
      const int err =
          MakeRecordedFolder(sys, out.Get(), part, k < owners.size() ? &owners[k] : nullptr);
      if (err != 0 && err != EEXIST) return err;
      fd = sys.OpenAt(out.Get(), part.c_str(), kWalkFlags, 0);
    }
    if (fd < 0) return errno == ENOTDIR ? ELOOP : errno;
    out = Fd(sys, fd);
  }
  return 0;
}

RestoreResult Restore(Sys& sys, const Clock& clock, RunJournal& run,
                      const std::vector<std::string>& only, const RestoreOptions& options,
                      const RestoreEvents& events) {
  Restorer r{sys, clock, run, options, events, JournalAppend(sys, run.path), {}, {}, {}};
  for (const Problem& p : run.problems) {
    r.Warn("Journal " + run.name + " line " + std::to_string(p.line) + ": " + p.text);
  }
  std::set<std::string> wanted(only.begin(), only.end());
  std::set<std::string> seen;
  for (Entry& e : run.entries) {
    if (!wanted.empty() && wanted.count(e.file.original) == 0) continue;
    seen.insert(e.file.original);
    if (e.state == State::kMoved) {
      r.One(e);
    } else if (e.state == State::kPurged) {
      r.Fail("Not restored, purged on " + IsoText(e.purged_at).substr(0, 10) + ": " +
             EscapeControlBytes(e.file.original));
    } else if (e.state == State::kPending || e.state == State::kRestoring) {
      r.Fail("Not restored, its move was never finished: " + EscapeControlBytes(e.file.original));
    }
  }
  for (const std::string& path : wanted) {
    if (seen.count(path) == 0)
      r.Fail("Not in the journal of run " + run.name + ": " + EscapeControlBytes(path));
  }
  r.SettleHeld();
  if (const int err = r.append.Finish(); err != 0 && r.result.restored > 0) {
    r.Warn("The journal of run " + run.name + " could not be updated (" + Describe(err) + ")");
  }
  return r.result;
}

}  // namespace kestrel::journal
