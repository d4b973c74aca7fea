#include "journal/journal_append.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include <algorithm>
#include <vector>

#include "fs/dir_entries.h"
#include "fs/move_ops.h"

namespace kestrel::journal {

int JournalAppend::Line(const std::string& line, bool now) {
  if (error_ != 0) return error_;
  if (!file_.Valid()) {
    file_ = Fd(sys_, sys_.OpenAt(AT_FDCWD, path_.c_str(), O_WRONLY | O_APPEND | O_NOFOLLOW, 0));
    if (!file_.Valid()) return error_ = errno;
  }
  pending_ += line;
  const auto at = std::chrono::steady_clock::now();
  if (unsynced_++ == 0) first_unsynced_ = at;
  if (now) return Flush();
  if (unsynced_ >= 2000 || at - first_unsynced_ >= std::chrono::milliseconds(100)) return Sync();
  return 0;
}

int JournalAppend::Flush() {
  if (error_ == 0 && !pending_.empty())
    error_ = WriteAll(sys_, file_.Get(), pending_.data(), pending_.size());
  pending_.clear();
  return error_;
}

int JournalAppend::Sync() {
  if (error_ != 0 || !file_.Valid()) return error_;
  if (Flush() != 0) return error_;
  if (sys_.Fsync(file_.Get()) != 0) return error_ = errno;
  unsynced_ = 0;
  return 0;
}

int JournalAppend::Finish() {
  if (!file_.Valid()) return error_;
  Flush();
  if (sys_.Fsync(file_.Get()) != 0 && error_ == 0) error_ = errno;
  if (file_.Reset() != 0 && error_ == 0) error_ = errno;
  return error_;
}

bool Within(const std::string& folder, const std::string& path) {
  std::string_view base = folder;
  while (base.size() > 1 && base.back() == '/') base.remove_suffix(1);
  if (base.empty()) return false;
  if (base == "/") return path.size() > 1 && path.starts_with('/');
  return path.size() > base.size() + 1 && path.starts_with(base) && path[base.size()] == '/';
}

bool Matches(const struct stat& st, const Recorded& r) {
  if ((st.st_mode & S_IFMT) != (r.mode & S_IFMT)) return false;
  if (st.st_mtim.tv_sec != r.mtime.tv_sec || st.st_mtim.tv_nsec != r.mtime.tv_nsec) return false;
  // A link's size is the length of its target.
  return !(S_ISREG(st.st_mode) || S_ISLNK(st.st_mode)) || st.st_size == r.size;
}

bool SameContent(Sys& sys, int dir_a, const std::string& a, int dir_b, const std::string& b) {
  constexpr int kFlags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY;
  Fd fa(sys, sys.OpenAt(dir_a, a.c_str(), kFlags, 0));
  Fd fb(sys, sys.OpenAt(dir_b, b.c_str(), kFlags, 0));
  if (!fa.Valid() || !fb.Valid()) return false;
  constexpr size_t kChunk = 1 << 16;
  const auto ba = std::make_unique<char[]>(kChunk), bb = std::make_unique<char[]>(kChunk);
  while (true) {
    const ssize_t na = sys.Read(fa.Get(), ba.get(), kChunk);
    if (na < 0) return false;
    ssize_t got = 0;
    while (got < na) {
      const ssize_t nb = sys.Read(fb.Get(), bb.get() + got, static_cast<size_t>(na - got));
      if (nb <= 0) return false;
      got += nb;
    }
    if (std::memcmp(ba.get(), bb.get(), static_cast<size_t>(na)) != 0) return false;
    if (na == 0) return sys.Read(fb.Get(), bb.get(), 1) == 0;
  }
}

namespace {

bool SortedNames(Sys& sys, int dir, std::vector<std::string>& names) {
  if (!ForEachEntry(sys, dir,
                    [&](const char* n, size_t len, unsigned char) { names.emplace_back(n, len); }))
    return false;
  std::sort(names.begin(), names.end());
  return true;
}

}  // namespace

bool SameEntry(Sys& sys, int dir_a, const std::string& a, int dir_b, const std::string& b,
               bool within) {
  struct stat sa, sb;
  if (sys.FStatAt(dir_a, a.c_str(), &sa, AT_SYMLINK_NOFOLLOW) != 0 ||
      sys.FStatAt(dir_b, b.c_str(), &sb, AT_SYMLINK_NOFOLLOW) != 0 ||
      (sa.st_mode & S_IFMT) != (sb.st_mode & S_IFMT))
    return false;
  if (S_ISREG(sa.st_mode)) return sa.st_size == sb.st_size && SameContent(sys, dir_a, a, dir_b, b);
  if (S_ISLNK(sa.st_mode)) {
    std::string ta, tb;
    return ReadLinkText(sys, dir_a, a, ta) == 0 && ReadLinkText(sys, dir_b, b, tb) == 0 && ta == tb;
  }
  if (!S_ISDIR(sa.st_mode)) return false;
  constexpr int kFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW;
  Fd da(sys, sys.OpenAt(dir_a, a.c_str(), kFlags, 0)),
      db(sys, sys.OpenAt(dir_b, b.c_str(), kFlags, 0));
  std::vector<std::string> na, nb;
  if (!da.Valid() || !db.Valid() || !SortedNames(sys, da.Get(), na) ||
      !SortedNames(sys, db.Get(), nb) ||
      (within ? !std::includes(nb.begin(), nb.end(), na.begin(), na.end()) : na != nb))
    return false;
  for (const std::string& name : na) {
    if (!SameEntry(sys, da.Get(), name, db.Get(), name, within)) return false;
  }
  return true;
}

}  // namespace kestrel::journal
