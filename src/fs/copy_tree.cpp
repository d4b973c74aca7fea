#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <memory>
#include <utility>

#include "fs/dir_entries.h"
#include "fs/move_ops.h"
#include "fs/temporaries.h"

namespace kestrel {
namespace {

constexpr size_t kChunk = 1 << 20;
constexpr int kReadFlags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY;
constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW;

// The opened entry must still be the one the move looked at.
int CheckSame(Sys& sys, int fd, const struct stat& expected) {
  struct stat st;
  if (sys.FStat(fd, &st) != 0) return errno;
  return st.st_dev == expected.st_dev && st.st_ino == expected.st_ino ? 0 : EBUSY;
}

// Copies len bytes from the current offsets of in to out with copy_file_range; returns
// EOPNOTSUPP when the kernel cannot (another file system type), having copied nothing.
int CopyRange(Sys& sys, int in, int out, off_t len) {
  for (off_t left = len; left > 0;) {
    const ssize_t n = sys.CopyFileRange(in, out, static_cast<size_t>(left));
    if (n < 0 && left == len &&
        (errno == EXDEV || errno == EOPNOTSUPP || errno == EINVAL || errno == ENOSYS))
      return EOPNOTSUPP;
    if (n < 0) return errno;
    if (n == 0) return EIO;  // the file shrank under the copy
    left -= n;
  }
  return 0;
}

int ReadWrite(Sys& sys, int in, int out, off_t len, std::unique_ptr<char[]>& buf) {
  if (!buf) buf.reset(new char[kChunk]);
  for (off_t left = len; left > 0;) {
    const ssize_t n = sys.Read(in, buf.get(), std::min<size_t>(static_cast<size_t>(left), kChunk));
    if (n < 0) return errno;
    if (n == 0) return EIO;  // the file shrank under the copy
    if (const int err = WriteAll(sys, out, buf.get(), static_cast<size_t>(n))) return err;
    left -= n;
  }
  return 0;
}

// Copies the data of in: shared blocks where the file system offers them, else each data
// range on its own, so that a sparse file stays sparse.
int CopyData(Sys& sys, int in, int out, off_t size) {
  if (size > 0 && sys.Clone(out, in) == 0) return 0;
  std::unique_ptr<char[]> buf;
  bool ranges = true;  // copy_file_range works between these two
  off_t pos = 0;
  while (pos < size) {
    off_t data = sys.Lseek(in, pos, SEEK_DATA);
    if (data < 0 && errno == ENXIO) break;  // only a hole is left
    if (data < 0) data = pos;               // no hole support: all of it is data
    if (data >= size) break;
    off_t end = sys.Lseek(in, data, SEEK_HOLE);
    if (end < 0 || end > size) end = size;
    if (sys.Lseek(in, data, SEEK_SET) < 0 || sys.Lseek(out, data, SEEK_SET) < 0) return errno;
    int err = ranges ? CopyRange(sys, in, out, end - data) : EOPNOTSUPP;
    if (err == EOPNOTSUPP) {
      ranges = false;
      err = ReadWrite(sys, in, out, end - data, buf);
    }
    if (err != 0) return err;
    pos = end;
  }
  // The new file is as long as its last range: only a hole at the end needs the length set.
  if (pos == size) return 0;
  return sys.Ftruncate(out, size) == 0 ? 0 : errno;
}

// Copies the extended attributes (ACLs included) the process may write; what the target
// refuses goes to lost, and is no error.
void CopyXattrs(Sys& sys, int in, int out, NotKept& lost) {
  std::string names(4096, '\0');
  ssize_t n;
  while ((n = sys.FListXattr(in, names.data(), names.size())) < 0 && errno == ERANGE)
    names.resize(names.size() * 4);
  if (n <= 0) return;  // none, or a file system without them
  names.resize(static_cast<size_t>(n));
  const bool root = sys.GetUid() == 0;
  std::string value;
  for (size_t at = 0; at < names.size();) {
    const std::string name(names.c_str() + at);
    at += name.size() + 1;
    const bool acl = name.starts_with("system.posix_acl_");
    if (!root && !name.starts_with("user.") && !acl) continue;  // only root may write those
    value.resize(4096);
    ssize_t len;
    while ((len = sys.FGetXattr(in, name.c_str(), value.data(), value.size())) < 0 &&
           errno == ERANGE)
      value.resize(value.size() * 4);
    if (len < 0) continue;  // gone meanwhile
    if (sys.FSetXattr(out, name.c_str(), value.data(), static_cast<size_t>(len), 0) != 0)
      lost |= acl ? kNotKeptAcl : kNotKeptXattrs;
  }
}

int SetAttributes(Sys& sys, int in, int out, const struct stat& st, NotKept& lost) {
  // Only root may give a file away; everyone else keeps the copy as their own.
  if (sys.FChown(out, st.st_uid, st.st_gid) != 0 && sys.GetUid() == 0) lost |= kNotKeptOwner;
  CopyXattrs(sys, in, out, lost);
  const struct timespec times[2] = {st.st_atim, st.st_mtim};
  if (sys.FChmod(out, st.st_mode & 07777) != 0 || sys.FUtimens(out, times) != 0) return errno;
  return 0;
}

int OpenSource(Sys& sys, int src_dir, const std::string& name, const struct stat& st, Fd& in) {
  // Unstamped, so that a copy that fails leaves the source's access time as it was; only its
  // owner may read a file so.
  in = Fd(sys, sys.OpenAt(src_dir, name.c_str(), kReadFlags | O_NOATIME, 0));
  if (!in.Valid() && errno == EPERM) in = Fd(sys, sys.OpenAt(src_dir, name.c_str(), kReadFlags, 0));
  if (!in.Valid()) return errno;
  return CheckSame(sys, in.Get(), st);
}

int FillCopy(Sys& sys, int in, int out, const struct stat& st, NotKept& lost, bool sync = true) {
  int err = CopyData(sys, in, out, st.st_size);
  if (err == 0) err = SetAttributes(sys, in, out, st, lost);
  if (err == 0 && sync && sys.Fsync(out) != 0) err = errno;
  return err;
}

int CopyFileAt(Sys& sys, int src_dir, const std::string& name, const struct stat& st, int dst_dir,
               const std::string& dst_name, NotKept& lost) {
  Fd in;
  if (const int err = OpenSource(sys, src_dir, name, st, in)) return err;
  Fd out(sys,
         sys.OpenAt(dst_dir, dst_name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0600));
  if (!out.Valid()) return errno;
  int err = IsTempName(dst_name) ? LockTemp(sys, out.Get()) : 0;
  if (err == EAGAIN) return EEXIST;  // swept before it was locked: take another name
  if (err == 0) err = FillCopy(sys, in.Get(), out.Get(), st, lost);
  if (err == 0 && out.Reset() != 0) err = errno;
  if (err != 0) {
    out.Reset();
    sys.UnlinkAt(dst_dir, dst_name.c_str(), 0);
  }
  return err;
}

// One folder copy: its top, open, and where the first name of each file with several names
// went below it, so that the others become links to it again.
struct TreeCopy {
  Sys& sys;
  int top = -1;
  std::map<std::pair<dev_t, ino_t>, std::string> first_names;
  NotKept lost = 0;
};

int CopyFolderAt(TreeCopy& tree, int src_dir, const std::string& name, const struct stat& st,
                 int dst_dir, const std::string& dst_name, const std::string& rel,
                 CopiedTree& copied);

// Copies the regular file name of in into out; a further name of a file copied already
// becomes a link to that copy.
int CopyMember(TreeCopy& tree, int in, const std::string& name, const struct stat& st, int out,
               const std::string& rel) {
  Sys& sys = tree.sys;
  if (st.st_nlink > 1) {
    const auto [it, first] = tree.first_names.try_emplace({st.st_dev, st.st_ino}, rel);
    if (!first) {
      if (sys.LinkAt(tree.top, it->second.c_str(), out, name.c_str(), 0) == 0) return 0;
      tree.lost |= kNotKeptHardLinks;
    }
  }
  return CopyFileAt(sys, in, name, st, out, name, tree.lost);
}

// Copies every entry of in into out; the caller removes out when this fails.
int CopyContents(TreeCopy& tree, int in, dev_t dev, int out, const std::string& rel,
                 CopiedTree& copied) {
  Sys& sys = tree.sys;
  std::vector<std::string> names;
  if (!ForEachEntry(sys, in,
                    [&](const char* n, size_t len, unsigned char) { names.emplace_back(n, len); }))
    return errno;
  for (const std::string& name : names) {
    struct stat st;
    if (sys.FStatAt(in, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return errno;
    const std::string path = rel.empty() ? name : rel + "/" + name;
    int err;
    if (S_ISREG(st.st_mode)) {
      err = CopyMember(tree, in, name, st, out, path);
    } else if (S_ISLNK(st.st_mode)) {
      std::string target;
      err = ReadLinkText(sys, in, name, target);
      if (err == 0 && sys.SymlinkAt(target.c_str(), out, name.c_str()) != 0) err = errno;
      if (err == 0) SetLinkAttributes(sys, out, name, st, tree.lost);
    } else if (S_ISDIR(st.st_mode) && st.st_dev == dev) {
      copied.folders.push_back(CopiedTree{name, {}, {}, 0});
      err = CopyFolderAt(tree, in, name, st, out, name, path, copied.folders.back());
      if (err == 0) continue;
    } else {
      err = EXDEV;  // special files and other file systems are never copied
    }
    if (err != 0) return err;
    copied.leaves.push_back(name);
  }
  return 0;
}

int CopyFolderAt(TreeCopy& tree, int src_dir, const std::string& name, const struct stat& st,
                 int dst_dir, const std::string& dst_name, const std::string& rel,
                 CopiedTree& copied) {
  Sys& sys = tree.sys;
  Fd in(sys, sys.OpenAt(src_dir, name.c_str(), kFolderFlags, 0));
  if (!in.Valid()) return errno;
  if (const int err = CheckSame(sys, in.Get(), st)) return err;
  if (sys.MkdirAt(dst_dir, dst_name.c_str(), 0700) != 0) return errno;
  Fd out(sys, sys.OpenAt(dst_dir, dst_name.c_str(), kFolderFlags, 0));
  if (!out.Valid()) return errno;
  if (IsTempName(dst_name) && LockTemp(sys, out.Get()) == EAGAIN) return EEXIST;
  if (tree.top < 0) tree.top = out.Get();
  int err = CopyContents(tree, in.Get(), st.st_dev, out.Get(), rel, copied);
  if (err == 0) err = SetAttributes(sys, in.Get(), out.Get(), st, tree.lost);
  if (err == 0 && sys.Fsync(out.Get()) != 0) err = errno;
  if (tree.top == out.Get()) tree.top = -1;
  return err;
}

}  // namespace

std::string NotKeptText(NotKept lost) {
  std::string text;
  for (const auto& [bit, what] :
       {std::pair{kNotKeptXattrs, "extended attributes"}, std::pair{kNotKeptAcl, "ACL"},
        std::pair{kNotKeptOwner, "owner"}, std::pair{kNotKeptTimes, "times"},
        std::pair{kNotKeptHardLinks, "hard links"}}) {
    if ((lost & bit) == 0) continue;
    if (!text.empty()) text += ", ";
    text += what;
  }
  return text;
}

void SetLinkAttributes(Sys& sys, int dir, const std::string& name, const struct stat& st,
                       NotKept& lost) {
  if (sys.FChownAt(dir, name.c_str(), st.st_uid, st.st_gid, AT_SYMLINK_NOFOLLOW) != 0 &&
      sys.GetUid() == 0)
    lost |= kNotKeptOwner;
  const struct timespec times[2] = {st.st_atim, st.st_mtim};
  if (sys.UtimensAt(dir, name.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) lost |= kNotKeptTimes;
}

int WriteAll(Sys& sys, int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = sys.Write(fd, data, size);
    if (n < 0) return errno;
    if (n == 0) return ENOSPC;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return 0;
}

int ReadLinkText(Sys& sys, int dir, const std::string& name, std::string& target) {
  target.resize(256);
  while (true) {
    const ssize_t n = sys.ReadLinkAt(dir, name.c_str(), target.data(), target.size());
    if (n < 0) return errno;
    if (static_cast<size_t>(n) < target.size()) {
      target.resize(static_cast<size_t>(n));
      return 0;
    }
    target.resize(target.size() * 2);
  }
}

int ReadLinkLeavingTimes(Sys& sys, int dir, const std::string& name, std::string& target) {
  struct stat before, after;
  if (sys.FStatAt(dir, name.c_str(), &before, AT_SYMLINK_NOFOLLOW) != 0) return errno;
  if (const int err = ReadLinkText(sys, dir, name, target)) return err;
  // Reading a link stamps its access time (relatime), which a move must keep.
  if (sys.FStatAt(dir, name.c_str(), &after, AT_SYMLINK_NOFOLLOW) == 0 &&
      after.st_dev == before.st_dev && after.st_ino == before.st_ino &&
      (after.st_atim.tv_sec != before.st_atim.tv_sec ||
       after.st_atim.tv_nsec != before.st_atim.tv_nsec)) {
    const struct timespec times[2] = {before.st_atim, {0, UTIME_OMIT}};
    sys.UtimensAt(dir, name.c_str(), times, AT_SYMLINK_NOFOLLOW);
  }
  return 0;
}

int CopyToTemp(Sys& sys, const MoveSource& src, int dst_dir, std::string& temp_name,
               CopiedTree& copied) {
  struct stat dst_st;
  if (sys.FStat(dst_dir, &dst_st) != 0) return errno;
  for (int attempt = 0; attempt < 100; ++attempt) {
    temp_name = TempName();
    int err;
    if (S_ISREG(src.st.st_mode)) {
      copied = CopiedTree{src.name, {}, {}, 0};
      err = CopyFileAt(sys, src.Dir(), src.name, src.st, dst_dir, temp_name, copied.not_kept);
    } else if (S_ISDIR(src.st.st_mode)) {
      TreeCopy tree{sys, -1, {}, 0};
      copied = CopiedTree{src.name, {}, {}, 0};
      err = CopyFolderAt(tree, src.Dir(), src.name, src.st, dst_dir, temp_name, "", copied);
      copied.not_kept = tree.lost;
      if (err != 0 && err != EEXIST) RemoveTree(sys, dst_dir, temp_name, dst_st.st_dev, nullptr);
    } else {
      return EXDEV;
    }
    if (err != EEXIST) return err;
  }
  return EEXIST;
}

int CopyToAnonymous(Sys& sys, const MoveSource& src, int dst_dir, Fd& out, NotKept& lost,
                    bool sync) {
  Fd in;
  if (const int err = OpenSource(sys, src.Dir(), src.name, src.st, in)) return err;
  out = Fd(sys, OpenAnonymous(sys, dst_dir, 0600));
  if (!out.Valid()) return errno;
  const int err = FillCopy(sys, in.Get(), out.Get(), src.st, lost, sync);
  if (err != 0) out.Reset();
  return err;
}

int RemoveTree(Sys& sys, int parent, const std::string& name, dev_t dev, const CopiedTree* copied) {
  Fd dir(sys, sys.OpenAt(parent, name.c_str(), kFolderFlags, 0));
  if (!dir.Valid()) return errno;
  struct stat st;
  if (sys.FStat(dir.Get(), &st) != 0) return errno;
  if (st.st_dev != dev) return EXDEV;
  int first = 0;
  const auto note = [&first](int err) {
    if (first == 0) first = err;
  };
  if (copied != nullptr) {
    for (const std::string& leaf : copied->leaves) {
      if (sys.UnlinkAt(dir.Get(), leaf.c_str(), 0) != 0 && errno != ENOENT) note(errno);
    }
    for (const CopiedTree& sub : copied->folders) {
      if (const int err = RemoveTree(sys, dir.Get(), sub.name, dev, &sub)) note(err);
    }
  } else {
    std::vector<std::string> names;
    if (!ForEachEntry(sys, dir.Get(), [&](const char* n, size_t len, unsigned char) {
          names.emplace_back(n, len);
        }))
      note(errno);
    for (const std::string& n : names) {
      if (sys.UnlinkAt(dir.Get(), n.c_str(), 0) == 0 || errno == ENOENT) continue;
      if (errno != EISDIR) {
        note(errno);
      } else if (const int err = RemoveTree(sys, dir.Get(), n, dev, nullptr)) {
        note(err);
      }
    }
  }
  dir.Reset();
  if (sys.UnlinkAt(parent, name.c_str(), AT_REMOVEDIR) != 0) note(errno);
  return first;
}

int SyncFolder(Sys& sys, int dir) {
  if (sys.Fsync(dir) == 0) return 0;
  if (errno != EBADF) return errno == EINVAL ? 0 : errno;
  // An O_PATH descriptor cannot sync; without it a copy's name may not outlive a power cut
  // that its removed source did. A folder one may not read keeps the unsynced move.
  Fd readable(sys, sys.OpenAt(dir, ".", O_RDONLY | O_DIRECTORY, 0));
  if (!readable.Valid() || sys.Fsync(readable.Get()) == 0 || errno == EINVAL) return 0;
  return errno;
}

}  // namespace kestrel
