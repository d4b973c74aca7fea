#include "journal/purge.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>

#include "fs/dir_entries.h"
#include "fs/move_ops.h"
#include "fs/path_walk.h"
#include "fs/purge_tree.h"
#include "fs/temporaries.h"
#include "journal/identity.h"
#include "journal/journal_append.h"
#include "journal/journal_reader.h"
#include "journal/journal_text.h"
#include "journal/journal_writer.h"
#include "platform/escape_text.h"

namespace kestrel::journal {
namespace {

constexpr std::int64_t kDay = 86400;
constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

std::string Trimmed(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

bool Identical(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

int Look(Sys& sys, int dir, const std::string& name, struct statx& st) {
  return sys.StatX(dir, name.c_str(), AT_SYMLINK_NOFOLLOW, STATX_TYPE | STATX_INO, &st) == 0
             ? 0
             : errno;
}

// Returns true iff the folder fd, or one above it, is what guarded names.
bool Holds(Sys& sys, const struct stat& folder, const std::string& guarded) {
  Fd at;
  if (OpenPath(sys, guarded, O_PATH | O_DIRECTORY, at) != 0) return false;
  for (int depth = 0; depth < 4096; ++depth) {
    struct stat st;
    if (sys.FStat(at.Get(), &st) != 0) return false;
    if (Identical(st, folder)) return true;
    Fd up(sys, sys.OpenAt(at.Get(), "..", O_PATH | O_DIRECTORY, 0));
    struct stat ust;
    if (!up.Valid() || sys.FStat(up.Get(), &ust) != 0 || Identical(ust, st)) return false;
    at = std::move(up);
  }
  return false;
}

std::string Reason(int err) {
  if (err == EACCES || err == EPERM) return "access is denied";
  if (err == EBUSY) return "a file system is mounted inside";
  if (err == ESTALE) return "it changed while it was looked at";
  return "file system error (" + std::to_string(err) + ")";
}

// Finishes the temporaries a purge left when it was cut off: this user's, unlocked.
void FinishTemporaries(Sys& sys, int folder, std::uint64_t mount_id) {
  std::vector<std::string> names;
  sys.Lseek(folder, 0, SEEK_SET);
  ForEachEntry(sys, folder, [&](const char* n, size_t len, unsigned char) {
    if (IsTempName(std::string_view(n, len))) names.emplace_back(n, len);
  });
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    struct stat st;
    if (sys.FStatAt(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
        st.st_uid != sys.GetUid() || !(S_ISDIR(st.st_mode) || S_ISREG(st.st_mode)))
      continue;
    const int flags = S_ISDIR(st.st_mode) ? kFolderFlags : O_RDONLY | O_NOFOLLOW | O_NONBLOCK;
    Fd fd(sys, sys.OpenAt(folder, name.c_str(), flags, 0));
    struct stat now;
    if (!fd.Valid() || sys.Flock(fd.Get(), LOCK_EX | LOCK_NB) != 0 ||
        sys.FStat(fd.Get(), &now) != 0 || !Identical(now, st))
      continue;
    PurgeTree(sys, folder, name, mount_id);
  }
}

// Deletes the entry name of the open quarantine folder; record is called once it is gone from
// the user's sight. Returns 0 or the errno.
int DeleteItem(Sys& sys, int folder, const PurgeItem& item, std::uint64_t mount_id,
               const std::function<void()>& record) {
  const std::string& name = item.name;
  struct stat st;
  if (sys.FStatAt(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return errno;
  if (st.st_dev != item.dev || st.st_ino != item.ino) return ESTALE;
  if (!S_ISDIR(st.st_mode)) {
    // One unlink takes it whole; nothing is left half done.
    if (sys.UnlinkAt(folder, name.c_str(), 0) != 0) return errno;
    record();
    return 0;
  }
  // Under a locked temporary name, a purge cut off is finished by the next one.
  Fd held(sys, sys.OpenAt(folder, name.c_str(), kFolderFlags, 0));
  struct stat now;
  if (!held.Valid() || sys.Flock(held.Get(), LOCK_EX | LOCK_NB) != 0 ||
      sys.FStat(held.Get(), &now) != 0)
    return errno;
  if (!Identical(now, st)) return ESTALE;
  const std::string temp = TempName();
  if (sys.RenameAt2(folder, name.c_str(), folder, temp.c_str(), RENAME_NOREPLACE) != 0)
    return errno;
  if (const int err = SyncFolder(sys, folder)) return err;
  record();
  return PurgeTree(sys, folder, temp, mount_id);
}

struct Candidate {
  std::string run;
  const Entry* entry;
};

}  // namespace

bool SameIdentity(const Entry& entry, const struct statx& st, const std::string& fs) {
  if ((st.stx_mode & S_IFMT) != (entry.file.mode & S_IFMT)) return false;
  if (!entry.placed_fs.empty()) return entry.placed_fs == fs && st.stx_ino == entry.placed_ino;
  return makedev(st.stx_dev_major, st.stx_dev_minor) == entry.file.dev &&
         st.stx_ino == entry.file.ino;
}

std::optional<std::string> PurgeRefusal(const PurgeSetup& setup, int folder) {
  const std::string& q = setup.quarantine;
  const std::string shown = EscapeControlBytes(q);
  if (q.empty() || q.front() != '/') return "Purge refused, " + shown + " is not an absolute path";
  struct stat st;
  if (setup.sys.FStat(folder, &st) != 0) return "Purge refused, " + shown + " cannot be read";
  std::vector<std::string> guarded = setup.guarded;
  guarded.push_back("/");
  for (const std::string& g : guarded) {
    if (!g.empty() && Holds(setup.sys, st, g))
      return "Purge refused, " + shown + " is or holds a home or program folder";
  }
  if (st.st_uid != setup.sys.GetUid() || (st.st_mode & (S_IWGRP | S_IWOTH)) != 0)
    return "Purge refused, " + shown + " can be written by others (chmod go-w " + shown + ")";
  return std::nullopt;
}

PurgePlan PlanPurge(const PurgeSetup& setup, int folder) {
  Sys& sys = setup.sys;
  const std::string quarantine = Trimmed(setup.quarantine);
  std::vector<RunJournal> journals;
  std::map<std::string, std::vector<Candidate>> known;  // by name in the quarantine
  for (const std::string& name : ListRuns(sys, setup.journals)) {
    RunJournal run;
    if (ReadJournal(sys, setup.journals, name, run) != 0 || run.quarantine != quarantine) continue;
    journals.push_back(std::move(run));
  }
  for (const RunJournal& run : journals) {
    for (const Entry& e : run.entries) {
      std::string parent, leaf;
      if (e.state == State::kMoved && SplitParent(e.placed, parent, leaf) == 0 &&
          parent == quarantine)
        known[leaf].push_back({run.name, &e});
    }
  }
  std::vector<std::string> names;
  sys.Lseek(folder, 0, SEEK_SET);  // the descriptor may have been read before
  ForEachEntry(sys, folder, [&](const char* n, size_t len, unsigned char) {
    if (!IsTempName(std::string_view(n, len))) names.emplace_back(n, len);
  });
  std::sort(names.begin(), names.end());
  std::uint64_t mount_id = 0;
  MountId(sys, folder, "", mount_id);
  struct stat here {};
  const std::string fs =
      sys.FStat(folder, &here) == 0 ? FsIdentities(sys, kFormatVersion).OfFd(folder, here.st_dev)
                                    : "";
  const DateTime now = setup.clock.Now();
  PurgePlan plan;
  for (const std::string& name : names) {
    struct statx st;
    const Candidate* best = nullptr;
    if (Look(sys, folder, name, st) == 0) {
      // An entry on another file system than its folder is a mount: never the one recorded.
      const bool inside = makedev(st.stx_dev_major, st.stx_dev_minor) == here.st_dev;
      for (const Candidate& c : known[name]) {
        if (SameIdentity(*c.entry, st, inside ? fs : "") &&
            (best == nullptr || best->entry->moved_at < c.entry->moved_at))
          best = &c;
      }
    }
    if (best == nullptr) {
      ++plan.unknown;
      continue;
    }
    PurgeItem item;
    item.name = name;
    item.path = quarantine + "/" + name;
    item.since = best->entry->moved_at;
    item.due = item.since.AddSeconds(static_cast<std::int64_t>(setup.days) * kDay);
    item.run = best->run;
    item.entry = best->entry->number;
    item.dev = makedev(st.stx_dev_major, st.stx_dev_minor);
    item.ino = st.stx_ino;
    const TreeMeasure m = MeasureTree(sys, folder, name, mount_id);
    item.size = m.bytes;
    item.mount = m.mount;
    if (setup.days <= 0) continue;
    const std::int64_t age = now.Seconds() - item.since.Seconds();
    (age >= static_cast<std::int64_t>(setup.days) * kDay ? plan.due : plan.later)
        .push_back(std::move(item));
  }
  return plan;
}

int OpenQuarantine(Sys& sys, const std::string& quarantine, Fd& out) {
  return OpenPath(sys, quarantine, O_RDONLY | O_DIRECTORY | O_CLOEXEC, out);
}

std::vector<std::string> HomeFolders(Sys& sys) {
  std::vector<std::string> homes;
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0')
    homes.emplace_back(home);
  std::string text;
  if (ReadWholeFile(sys, "/etc/passwd", text) != 0) return homes;
  for (size_t pos = 0; pos < text.size();) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + pos, end - pos);
    for (int i = 0; i < 5 && !line.empty(); ++i) {
      const size_t colon = line.find(':');
      line = colon == std::string_view::npos ? std::string_view() : line.substr(colon + 1);
    }
    const std::string_view dir = line.substr(0, line.find(':'));
    if (dir.starts_with('/')) homes.emplace_back(dir);
    pos = end + 1;
  }
  return homes;
}

PurgeSetup MakePurgeSetup(Sys& sys, const Clock& clock, const std::string& program_folder,
                          const std::string& quarantine, std::int32_t days) {
  PurgeSetup setup{sys, clock, quarantine, program_folder + "/journal", days, HomeFolders(sys)};
  if (quarantine.starts_with('/')) setup.quarantine = AbsolutePath(sys, quarantine);
  setup.guarded.push_back(program_folder);
  return setup;
}

PurgeResult RunPurge(const PurgeSetup& setup, const PurgeEvents& events,
                     const std::set<std::string>* only) {
  Sys& sys = setup.sys;
  PurgeResult result;
  const auto warn = [&](const std::string& text) {
    if (events.warning) events.warning(text);
  };
  if (setup.days <= 0 || setup.quarantine.empty()) return result;
  const std::string shown = EscapeControlBytes(setup.quarantine);
  Fd folder;
  if (setup.quarantine.front() == '/') {
    const int err = OpenQuarantine(sys, setup.quarantine, folder);
    if (err == ENOENT) {
      if (events.message) events.message("Nothing to purge, there is no quarantine folder " + shown);
      return result;
    }
    if (err != 0) {
      warn("Not purged, " + Reason(err) + ": " + shown);
      ++result.errors;
      return result;
    }
  }
  if (const auto refusal = PurgeRefusal(setup, folder.Get())) {
    warn(*refusal);
    result.refused = true;
    return result;
  }
  std::uint64_t mount_id = 0;
  if (const int err = MountId(sys, folder.Get(), "", mount_id)) {
    warn("Not purged, " + Reason(err) + ": " + shown);
    ++result.errors;
    return result;
  }
  if (!setup.dry_run) FinishTemporaries(sys, folder.Get(), mount_id);
  const PurgePlan plan = PlanPurge(setup, folder.Get());
  if (plan.unknown > 0)
    warn(std::to_string(plan.unknown) + " items in " + shown + " are in no journal; left");

  std::map<std::string, std::unique_ptr<JournalAppend>> appends;
  const auto record = [&](const PurgeItem& item) {
    auto& append = appends[item.run];
    if (!append)
      append = std::make_unique<JournalAppend>(sys, setup.journals + "/" + item.run + kSuffix);
    append->Line("purged\t" + std::to_string(item.entry) + "\t" +
                 IsoText(setup.clock.Now()) + "\n");
  };
  for (const PurgeItem& item : plan.due) {
    if (result.errors > 0 && result.errors >= setup.max_errors) break;
    if (only != nullptr && only->count(item.path) == 0) continue;
    const std::string path = EscapeControlBytes(item.path);
    const auto fail = [&](int err) {
      warn("Not purged, " + Reason(err) + ": " + path);
      ++result.errors;
    };
    if (item.mount) {
      fail(EBUSY);
      continue;
    }
    if (!setup.dry_run) {
      if (const int err = DeleteItem(sys, folder.Get(), item, mount_id, [&] { record(item); })) {
        fail(err);
        continue;
      }
    }
    ++result.items;
    result.bytes += item.size;
    if (events.purged) events.purged(item);
  }
  for (auto& [run, append] : appends) {
    if (const int err = append->Finish())
      warn("The journal of run " + run + " could not be updated (" + Reason(err) + ")");
  }
  return result;
}

}  // namespace kestrel::journal
