#include "journal/recovery.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <set>

#include "fs/move_ops.h"
#include "fs/names.h"
#include "fs/path_walk.h"
#include "fs/purge_tree.h"
#include "fs/temporaries.h"
#include "journal/identity.h"
#include "journal/journal_append.h"
#include "journal/journal_reader.h"
#include "journal/journal_text.h"
#include "journal/journal_writer.h"
#include "journal/restore.h"
#include "platform/escape_text.h"

namespace kestrel::journal {
namespace {

constexpr int kMaxNumber = 9999;

// A journal is finished when its last line ends the run or a restore of one file.
bool Unfinished(Sys& sys, const std::string& path) {
  Fd fd;
  if (OpenPath(sys, path, O_RDONLY | O_NOFOLLOW, fd) != 0) return false;
  const off_t size = sys.Lseek(fd.Get(), 0, SEEK_END);
  if (size <= 0) return false;
  const off_t from = size > 4096 ? size - 4096 : 0;
  std::string tail(static_cast<size_t>(size - from), '\0');
  if (sys.Lseek(fd.Get(), from, SEEK_SET) < 0) return false;
  const ssize_t n = sys.Read(fd.Get(), tail.data(), tail.size());
  if (n <= 0) return false;
  tail.resize(static_cast<size_t>(n));
  if (!tail.ends_with('\n')) return true;
  tail.pop_back();
  const size_t start = tail.rfind('\n');
  const std::string_view last =
      std::string_view(tail).substr(start == std::string::npos ? 0 : start + 1);
  return !(last.starts_with("end\t") || last.starts_with("restored\t") ||
           last.starts_with("unrestored\t") || last.starts_with("purged\t"));
}

// The source of a move, when it is still there as the journal recorded it.
struct Source {
  MoveSource src;
  bool reached = true;  // false: a link, another folder or an error on the way; nothing known
  bool intact = false;  // type, size and stamp as recorded
  bool very = false;    // and the very file recorded: its file system and inode
  bool present = false;
  bool partial_folder = false;  // a folder whose removal after its copy was cut short
};

Source OpenSource(Sys& sys, const std::string& path, const Recorded& r) {
  Source s;
  const int err = OpenMoveSource(sys, nullptr, path, s.src);
  s.present = err != ENOENT;
  s.intact = err == 0 && Matches(s.src.st, r);
  s.partial_folder = err == 0 && !s.intact && S_ISDIR(s.src.st.st_mode) && S_ISDIR(r.mode);
  return s;
}

// Where in dst a move of the entry landed: the first of wanted, "wanted (2)", ... that holds
// it and that no other move of the run took (taken). With the source intact, only another file
// holding the same bytes counts; with the source gone, a file on the source's own file system
// must be the same inode (ino non-zero).
std::optional<std::string> Landed(Sys& sys, int dst, const std::string& wanted, const Recorded& r,
                                  const Source& s, FsIdentities* ids, const FileFacts* file,
                                  const std::set<std::string>* taken = nullptr) {
  for (int n = 1; n <= kMaxNumber; ++n) {
    const std::string name = NumberedName(wanted, n);
    if (taken != nullptr && taken->count(name) != 0) continue;
    struct stat st;
    if (sys.FStatAt(dst, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
      if (errno == ENOENT) return std::nullopt;
      continue;
    }
    if (!Matches(st, r)) continue;
    if (s.intact || s.partial_folder) {
      if (st.st_dev == s.src.st.st_dev && st.st_ino == s.src.st.st_ino) continue;
      if (!SameEntry(sys, s.src.Dir(), s.src.name, dst, name, s.partial_folder)) continue;
      return name;
    }
    if (file != nullptr && st.st_ino != file->ino && ids->OfFd(dst, st.st_dev) == file->fs)
      continue;
    return name;
  }
  return std::nullopt;
}

// A rename between the two folders keeps the inode and never copies: same file system, same
// mount.
bool RenameReaches(Sys& sys, int from, int to) {
  struct stat a, b;
  std::uint64_t mount_a = 0, mount_b = 0;
  return sys.FStat(from, &a) == 0 && sys.FStat(to, &b) == 0 && a.st_dev == b.st_dev &&
         MountId(sys, from, "", mount_a) == 0 && MountId(sys, to, "", mount_b) == 0 &&
         mount_a == mount_b;
}

// The names in the quarantine that the run's moves took.
std::set<std::string> NamesTaken(const RunJournal& run) {
  std::set<std::string> taken;
  const std::string prefix = run.quarantine + "/";
  if (run.quarantine.empty()) return taken;
  for (const Entry& e : run.entries)
    if (e.state == State::kMoved && e.placed.starts_with(prefix))
      taken.insert(e.placed.substr(prefix.size()));
  return taken;
}

// Removes the source once its whole copy is in place.
bool RemoveSource(Sys& sys, const Source& s) {
  if (S_ISDIR(s.src.st.st_mode))
    return RemoveTree(sys, s.src.Dir(), s.src.name, s.src.st.st_dev, nullptr) == 0;
  return sys.UnlinkAt(s.src.Dir(), s.src.name.c_str(), 0) == 0;
}

struct Recoverer {
  Sys& sys;
  const Clock& clock;
  RunJournal& run;
  JournalAppend& append;
  const std::function<void(const std::string&)>& note;
  const std::function<void(const std::string&)>& warn;
  std::set<std::string> swept;
  FsIdentities ids{sys, run.version};
  std::set<std::string> taken = NamesTaken(run);

  void Note(const std::string& text) {
    if (note) note(text);
  }

  void Moved(Entry& e, const std::string& placed, const std::string& info) {
    std::string identity;
    if (run.version >= 2) {
      struct stat st {};
      std::string parent, name;
      SplitParent(placed, parent, name);
      sys.FStatAt(AT_FDCWD, placed.c_str(), &st, AT_SYMLINK_NOFOLLOW);
      const std::string fs = ids.OfPath(parent, st.st_dev);
      identity = Tab(fs.empty() ? "d0" : fs) + Tab(std::to_string(st.st_ino));
    }
    append.Line(MovedLine(e.number, clock.Now(), placed, info, identity));
    e.state = State::kMoved;
    e.placed = placed;
    taken.insert(placed.substr(placed.rfind('/') + 1));
    Note("Recovered the move of " + EscapeControlBytes(e.file.original) + " to " +
         EscapeControlBytes(placed));
  }
  // What stands at the original path, reached from the recorded include folder by its recorded
  // identity without following a link.
  Source RecordedSource(const Entry& e, const Recorded& r) {
    Source s;
    const int err = OpenOriginFolder(sys, e, false, s.src.dir, run.version);
    if (err == ENOENT) return s;  // its folder is gone, and the source with it
    s.reached = err == 0 && SplitParent(e.file.original, s.src.parent_path, s.src.name) == 0;
    if (!s.reached) return s;
    struct stat& st = s.src.st;
    if (sys.FStatAt(s.src.Dir(), s.src.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
      s.reached = errno == ENOENT;
      return s;
    }
    s.present = true;
    s.intact = Matches(st, r);
    const bool same = st.st_ino == e.file.ino && ids.OfFd(s.src.Dir(), st.st_dev) == e.file.fs;
    s.very = s.intact && same;
    s.partial_folder = !s.intact && same && S_ISDIR(st.st_mode) && S_ISDIR(r.mode);
    return s;
  }

  // Both copies stay; the outcome keeps the next recovery from trying again.
  void Unsure(Entry& e) {
    if (warn)
      warn("Recovery left both copies, identity unsure: " + EscapeControlBytes(e.file.original));
    Failed(e, EEXIST);
  }

  void Failed(Entry& e, int err) {
    append.Line(FailedLine(e.number, clock.Now(), err));
    e.state = State::kFailed;
    e.error = err;
  }

  // Partial copies a crash left in a quarantine folder.
  void Sweep(int dir, const std::string& path) {
    if (swept.insert(path).second) SweepTemporaries(sys, dir);
  }

  void SettleIntoQuarantine(Entry& e, const Recorded& r, Source& s, const std::string& name) {
    Fd dst;
    if (OpenPath(sys, run.quarantine, O_RDONLY | O_DIRECTORY, dst) != 0)
      return Failed(e, s.present ? ECANCELED : ENOENT);
    Sweep(dst.Get(), run.quarantine);
    if (!s.reached) {
      // Whatever stands at the path now, a copy that looks whole means a file may be twice.
      Source unknown;
      return Landed(sys, dst.Get(), name, r, unknown, nullptr, nullptr) ? Unsure(e)
                                                                        : Failed(e, ECANCELED);
    }
    // The very file still where it was, and no copy was ever needed: the move did not happen.
    // Another file there with its bytes is another move's, never a reason to remove this one.
    if (s.very && RenameReaches(sys, s.src.Dir(), dst.Get())) return Failed(e, ECANCELED);
    // Only where a rename reaches must a landed file be the very inode: on another mount of the
    // same file system (a bind mount) the move was a copy.
    const bool copied = s.src.Dir() >= 0 && !RenameReaches(sys, s.src.Dir(), dst.Get());
    const auto landed =
        Landed(sys, dst.Get(), name, r, s, &ids, copied ? nullptr : &e.file, &taken);
    if (landed && s.intact && !s.very) return Unsure(e);
    if (landed && ((!s.intact && !s.partial_folder) || RemoveSource(sys, s)))
      return Moved(e, run.quarantine + "/" + *landed, "");
    Failed(e, s.present ? ECANCELED : ENOENT);
  }

  void SettleIntoTrash(Entry& e, const Recorded& r, Source& s, const std::string& name) {
    struct stat origin;
    const dev_t dev = run.version < 2                                            ? e.file.dev
                      : s.src.Dir() >= 0 && sys.FStat(s.src.Dir(), &origin) == 0 ? origin.st_dev
                                                                                 : 0;
    for (const std::string& trash : TrashFoldersFor(sys, e.file.original, dev)) {
      for (int n = 1; n <= kMaxNumber; ++n) {
        const std::string stem = NumberedName(name, n);
        const std::string info = trash + "/info/" + stem + ".trashinfo";
        const std::string file = trash + "/files/" + stem;
        struct stat st;
        if (sys.FStatAt(AT_FDCWD, info.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) break;
        // A crash right after creating the .trashinfo leaves it empty.
        const bool empty = st.st_size == 0;
        if (!empty && !TrashInfoNames(sys, info, e.file.original)) continue;
        if (sys.FStatAt(AT_FDCWD, file.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
          if (errno == ENOENT && sys.UnlinkAt(AT_FDCWD, info.c_str(), 0) == 0)
            Note("Removed a .trashinfo without its file: " + EscapeControlBytes(info));
          continue;
        }
        if (!empty && !s.present && Matches(st, r) && st.st_ino == e.file.ino &&
            ids.OfPath(trash + "/files", st.st_dev) == e.file.fs)
          return Moved(e, file, info);
      }
    }
    Failed(e, s.present ? ECANCELED : ENOENT);
  }

  void SettleMove(Entry& e) {
    const Recorded r{e.file.mode, e.file.size, e.file.mtime};
    Source s = RecordedSource(e, r);
    std::string parent, name;
    if (SplitParent(e.file.original, parent, name) != 0) return Failed(e, EINVAL);
    if (run.quarantine.empty()) return SettleIntoTrash(e, r, s, name);
    SettleIntoQuarantine(e, r, s, name);
  }

  void SettleRestore(Entry& e) {
    const Recorded r{e.file.mode, e.file.size, e.file.mtime};
    Source s = OpenSource(sys, e.placed, r);
    std::string parent, name;
    Fd dst;
    std::optional<std::string> landed;
    if (SplitParent(e.file.original, parent, name) == 0 &&
        OpenOriginFolder(sys, e, false, dst, run.version) == 0)
      landed = Landed(sys, dst.Get(), name, r, s, nullptr, nullptr);
    if (landed && ((!s.intact && !s.partial_folder) || RemoveSource(sys, s))) {
      if (!e.info.empty()) sys.UnlinkAt(AT_FDCWD, e.info.c_str(), 0);
      const std::string to = parent + "/" + *landed;
      append.Line(RestoredLine(e.number, clock.Now(), to));
      e.state = State::kRestored;
      e.restored_to = to;
      Note("Recovered the restore of " + EscapeControlBytes(to));
      return;
    }
    append.Line(UnrestoredLine(e.number, clock.Now(), ECANCELED));
    e.state = State::kMoved;
  }
};

}  // namespace

int Recover(Sys& sys, const Clock& clock, const std::string& folder,
            const std::function<void(const std::string&)>& note,
            const std::function<void(const std::string&)>& warn) {
  int settled = 0;
  for (const std::string& name : ListRuns(sys, folder)) {
    RunJournal run;
    if (!Unfinished(sys, folder + "/" + name + kSuffix) ||
        ReadJournal(sys, folder, name, run) != 0 || run.version < 1 || run.version > kFormatVersion)
      continue;
    JournalAppend append(sys, run.path);
    Recoverer r{sys, clock, run, append, note, warn, {}};
    // A line cut short by the crash would run into the next one.
    std::string text;
    if (ReadWholeFile(sys, run.path, text) == 0 && !text.empty() && !text.ends_with('\n'))
      append.Line("\n");
    for (Entry& e : run.entries) {
      if (e.state == State::kPending) r.SettleMove(e);
      if (e.state == State::kRestoring) r.SettleRestore(e);
    }
    if (!run.ended) append.Line(EndLine(clock.Now()));
    append.Finish();
    ++settled;
    // A run that moved nothing leaves no journal, crash or not; one that left both copies keeps
    // it, the only record of the one in the quarantine.
    if (std::none_of(run.entries.begin(), run.entries.end(),
                     [](const Entry& e) { return e.state != State::kFailed || e.error == EEXIST; }))
      sys.UnlinkAt(AT_FDCWD, run.path.c_str(), 0);
  }
  return settled;
}

}  // namespace kestrel::journal
