#pragma once

#include <sys/stat.h>

#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "fs/fd.h"
#include "fs/sys.h"

namespace kestrel {

class ScannedFolders;

// What a copy to another file system could not keep of an item, because the target refused it.
using NotKept = unsigned;
inline constexpr NotKept kNotKeptXattrs = 1, kNotKeptAcl = 2, kNotKeptOwner = 4, kNotKeptTimes = 8,
                         kNotKeptHardLinks = 16;
// "extended attributes, ACL, owner, times, hard links", or the part of it that lost holds.
std::string NotKeptText(NotKept lost);

// Where a search for a free "name (N)" goes on from: a run's later search for the same name in
// the same folder starts after the number its last one took.
struct FreeNumber {
  int next = 1;
};

// The entry a move starts from: its folder, open and checked against the scan, its name and
// its own (lstat) attributes. Every later step works relative to dir.
struct MoveSource {
  Fd dir;  // owned, unless the folder is borrowed from a MoveCache
  int borrowed = -1;
  std::string parent_path;
  std::string name;
  struct stat st {};

  int Dir() const { return borrowed >= 0 ? borrowed : dir.Get(); }
};

// Keeps the last source folder and the destination open from one move to the next, so that a
// run moving many files from few folders opens and checks each folder once. The descriptors
// pin the folders: a folder swapped afterwards is not followed.
class MoveCache {
 public:
  struct Open {
    std::string path;
    Fd fd;
    dev_t dev = 0;
    std::unordered_map<std::string, FreeNumber> next_free;  // by wanted name
  };
  Open source;
  Open destination;
};

// Returns 0, ELOOP when scanned knows the source's folder under another identity (swapped
// since the scan), or the errno of opening or reading it.
int OpenMoveSource(Sys& sys, const ScannedFolders* scanned, const std::string& from,
                   MoveSource& src, MoveCache* cache = nullptr);

// Renames from_name to the first free name of "wanted", "wanted (2)", ... (up to max_number
// names) in to_dir, never replacing anything; the name used goes to placed. With next, the
// search starts at its number and moves it on. Returns 0 or the errno (EEXIST when every name
// was taken).
int RenameToFreeName(Sys& sys, int from_dir, const std::string& from_name, int to_dir,
                     const std::string& wanted, std::string& placed, int max_number = 9999,
                     FreeNumber* next = nullptr);

// The names a copy read from each folder, so that removing the source removes no more.
struct CopiedTree {
  std::string name;
  std::vector<std::string> leaves;
  std::vector<CopiedTree> folders;
  NotKept not_kept = 0;  // of the whole copy, kept in the top only
};

// Copies the source (a regular file or a folder, whole) under a new hidden name in dst_dir,
// as cp -a does: holes, mode, owner (where allowed), times to the nanosecond, the extended
// attributes the process may write, links as links and hard links among its files as hard
// links; synced to disk. Special files anywhere give
// EXDEV. On failure nothing of the copy is left. Returns 0 or the errno.
int CopyToTemp(Sys& sys, const MoveSource& src, int dst_dir, std::string& temp_name,
               CopiedTree& copied);

// Copies the regular file src into an anonymous file in dst_dir (out), as CopyToTemp does,
// so that nothing is left when the process dies before it is given a name; without sync, the
// caller makes it durable. Returns 0 or the errno (see NoAnonymousFiles).
int CopyToAnonymous(Sys& sys, const MoveSource& src, int dst_dir, Fd& out, NotKept& lost,
                    bool sync = true);

// Gives the link name in dir the owner and times of st, a link's own (lstat).
void SetLinkAttributes(Sys& sys, int dir, const std::string& name, const struct stat& st,
                       NotKept& lost);

// Removes the folder name below parent: only the names in copied when it is given, else
// everything; never leaves the file system dev. Keeps going past failures; returns the first
// errno, or 0.
int RemoveTree(Sys& sys, int parent, const std::string& name, dev_t dev, const CopiedTree* copied);

// Writes all of data, going on after short writes; a write that takes nothing is ENOSPC.
// Returns 0 or the errno.
int WriteAll(Sys& sys, int fd, const char* data, size_t size);

// Reads the target of the link name below dir. Returns 0 or the errno.
int ReadLinkText(Sys& sys, int dir, const std::string& name, std::string& target);
// The same, then puts back the link's access time that the reading changed (when Kestrel may),
// for a link that is about to move with its own times.
int ReadLinkLeavingTimes(Sys& sys, int dir, const std::string& name, std::string& target);

// Syncs a folder's entries, through a readable descriptor of its own for an O_PATH one.
int SyncFolder(Sys& sys, int dir);

// Moves of regular files to other file systems, made durable a group at a time: each file is
// copied into an anonymous file of its destination folder, unsynced; Finish then syncs each
// file system once, names the copies, syncs each folder once, and only then removes the
// sources. A crash before that leaves every source whole and no copy behind. The caller makes
// its own record of the moves durable before Finish.
class CopyGroup {
 public:
  // Each copy holds a descriptor until Finish.
  static constexpr size_t kMaxFiles = 256;
  static constexpr off_t kMaxBytes = off_t{64} << 20;

  struct Done {
    std::string placed;  // the name taken in the destination folder
    int error = 0;
    dev_t dev = 0;  // of the copy
    ino_t ino = 0;
    NotKept not_kept = 0;
  };

  explicit CopyGroup(Sys& sys) : sys_(sys) {}
  CopyGroup(const CopyGroup&) = delete;
  CopyGroup& operator=(const CopyGroup&) = delete;

  // Copies src for the folder dst at dst_path; Finish names it as MoveEntryInto would. Returns
  // 0, ENOTSUP when the copy cannot be anonymous here (nothing is done), or the errno.
  int Add(const MoveSource& src, int dst, const std::string& dst_path, dev_t dst_dev,
          const std::string& wanted, int max_number, FreeNumber* next);
  bool Empty() const { return items_.empty(); }
  bool Full() const { return items_.size() >= kMaxFiles || bytes_ >= kMaxBytes; }
  // Finishes the moves added, telling done each outcome in the order they were added. With
  // refused, nothing is named: each move fails with it.
  void Finish(const std::function<void(const Done&)>& done, int refused = 0);

 private:
  struct Folder {
    std::string path;
    Fd fd;
    dev_t dev = 0;
  };
  struct Item {
    size_t from = 0, to = 0;  // in folders_
    std::string name, wanted;
    struct stat st {};
    int max_number = 1;
    FreeNumber* next = nullptr;
    Fd copy;
    Done done;
  };
  size_t FolderOf(const std::string& path, int fd, int flags, dev_t dev);

  Sys& sys_;
  std::vector<Folder> folders_;
  std::vector<Item> items_;
  off_t bytes_ = 0;
};

// What a move tells its caller: before_copy, when set, runs once the rename said EXDEV and
// before anything is copied (a non-zero errno stops the move); copied says whether it copied.
// With group, a regular file's copy joins it (grouped says so: the move ends with its Finish)
// and before_copy does not run; group_folder is the path of the destination folder.
struct MoveSteps {
  std::function<int()> before_copy;
  bool copied = false;
  CopyGroup* group = nullptr;
  std::string group_folder;
  bool grouped = false;
};

// Moves the source into the open folder dst (on file system dst_dev) under wanted, or with
// free_name under the first free of "wanted", "wanted (2)", ...; never replaces anything.
// It renames; when the rename says EXDEV (another file system, or the same one through another
// mount) it copies as MoveIntoFolder does, after checking the room. The name used goes to
// placed; next, as for RenameToFreeName; not_kept learns what a copy could not keep. Returns 0
// or the errno (EEXIST: the name is taken, ENOSPC: no room for the copy).
int MoveEntryInto(Sys& sys, const MoveSource& src, int dst, dev_t dst_dev,
                  const std::string& wanted, bool free_name, std::string& placed,
                  FreeNumber* next = nullptr, NotKept* not_kept = nullptr,
                  MoveSteps* steps = nullptr);

// Where a move put an entry: its new path and, in the Trash, the path of its .trashinfo; or
// the errno of the failed move.
struct MovePlaced {
  std::string path;
  std::string info_path;
  int error = 0;
  dev_t dev = 0;  // what now lies at path: the source's own inode after a rename, else the copy's
  ino_t ino = 0;
  NotKept not_kept = 0;  // what a copy to another file system lost
  bool grouped = false;  // the move waits for its CopyGroup's Finish
};

// Both return 0 or the errno of the failed move; placed, when given, learns where it went.
// With group, a copy may join it: placed then says only grouped, and Finish the rest.
int MoveIntoFolder(Sys& sys, const ScannedFolders* scanned, const std::string& from,
                   const std::string& to_folder, MoveCache* cache = nullptr,
                   MovePlaced* placed = nullptr, CopyGroup* group = nullptr);
int MoveToTrash(Sys& sys, const ScannedFolders* scanned, const std::string& from,
                MovePlaced* placed = nullptr);

// The trash folders a file at the absolute path, on file system dev, may have gone to: the
// home trash and the two trash folders at the top of its file system (some may not exist).
std::vector<std::string> TrashFoldersFor(Sys& sys, const std::string& absolute, dev_t dev);

// $XDG_DATA_HOME (when absolute) or ~/.local/share, which holds the home trash; empty when
// neither is known.
std::string DataHome();

}  // namespace kestrel
