#include "marking/mark_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/stat.h>
#include <sys/statvfs.h>

#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

#include "cleanup/path_text.h"
#include "cleanup/removal_date.h"
#include "fs/dir_entries.h"
#include "fs/fd.h"
#include "fs/path_walk.h"
#include "fs/sys.h"
#include "fs/win32_wrapper.h"
#include "marking/mark_rules.h"
#include "platform/error.h"
#include "platform/escape_text.h"

namespace kestrel {
namespace {

MarkOutcome Refused(std::string reason) {
  return MarkOutcome{false, "", std::move(reason)};
}

struct Parts {
  std::string folder;  // "/" for the root's entries
  std::string name;
};

Parts Split(const std::string& path) {
  const std::string_view trimmed = WithoutTrailingSlash(path);
  const size_t slash = trimmed.rfind('/');
  if (slash == std::string_view::npos) return {"", std::string(trimmed)};
  return {std::string(slash == 0 ? "/" : trimmed.substr(0, slash)),
          std::string(trimmed.substr(slash + 1))};
}

MarkOutcome Rename(Sys& sys, const Parts& parts, const std::string& path,
                   const std::string& new_name, bool rename = true) {
  const std::string new_path = JoinPath(parts.folder, new_name);
  if (new_name == parts.name) return MarkOutcome{true, new_path, ""};
  struct statvfs vfs {};
  if (sys.StatVfs(parts.folder.c_str(), &vfs) == 0 && vfs.f_namemax > 0 &&
      new_name.size() > vfs.f_namemax) {
    return Refused("the new name would be longer than the file system allows (" +
                   std::to_string(vfs.f_namemax) + " bytes)");
  }
  if (!rename) {
    struct stat st {};
    if (sys.FStatAt(AT_FDCWD, new_path.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
      return Refused("the name is taken: " + EscapeControlBytes(new_path));
    }
    return MarkOutcome{true, new_path, ""};
  }
  if (sys.RenameAt2(AT_FDCWD, path.c_str(), AT_FDCWD, new_path.c_str(), RENAME_NOREPLACE) != 0) {
    const int err = errno;
    if (err == EEXIST) return Refused("the name is taken: " + EscapeControlBytes(new_path));
    return Refused(std::string("cannot rename: ") + std::strerror(err));
  }
  return MarkOutcome{true, new_path, ""};
}

// The file's last-write stamp, as a run reads it; throws KsError when it cannot be read.
Win32Wrapper::FileInfo Info(Sys& sys, const std::string& path) {
  return Win32Wrapper(sys).Stat(std::string(WithoutTrailingSlash(path)));
}

// Finds, below the open folder dir (whose path from the folder being marked is rel), the
// entries whose own mark a run would read as a date before date; keeps the least in byte order.
void EarlierMarks(Sys& sys, int dir, const std::string& rel, const std::string& token,
                  DateTime date, std::string& first) {
  std::vector<std::pair<std::string, unsigned char>> entries;
  ForEachEntry(sys, dir, [&](const char* n, size_t len, unsigned char type) {
    entries.emplace_back(std::string(n, len), type);
  });
  for (const auto& [name, type] : entries) {
    const std::string path = rel + "/" + name;
    if (FindIgnoreCase(name, token) != std::string::npos) {
      const auto own = ReadRemovalDate(path, token);
      if (own && *own < date && (first.empty() || path < first)) first = path;
    }
    struct stat st {};
    if (type != DT_DIR &&
        (type != DT_UNKNOWN || sys.FStatAt(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
         !S_ISDIR(st.st_mode)))
      continue;
    Fd sub(sys, sys.OpenAt(dir, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW, 0));
    if (sub.Valid()) EarlierMarks(sys, sub.Get(), path, token, date, first);
  }
}

}  // namespace

MarkOutcome MarkFile(Sys& sys, const std::string& path, const std::string& token, DateTime date,
                     bool rename) {
  if (token.empty()) return Refused("the prefix token is empty");
  const Parts parts = Split(path);
  if (parts.name.empty() || parts.name == "." || parts.name == "..") {
    return Refused("not a file name");
  }
  Win32Wrapper::FileInfo info;
  try {
    info = Info(sys, path);
  } catch (const KsError& e) {
    return Refused(std::strerror(e.Number()));
  }
  if (std::string other = OtherMarkToken(parts.name, token, info.is_directory); !other.empty()) {
    return Refused("already marked with another token \"" + EscapeControlBytes(other) + "\"");
  }
  const std::string new_name = MarkedName(parts.name, token, date, info.is_directory);
  const auto read_back = ReadRemovalDate(JoinPath(parts.folder, new_name), token);
  if (read_back != date) {
    return Refused("\"" + EscapeControlBytes(token) +
                   "\" already stands earlier in the path, so a run would not read this date");
  }
  if (info.is_directory) {
    // The folder's mark would come first in every path below it and postpone theirs.
    std::string first;
    Fd dir;
    if (OpenPath(sys, std::string(WithoutTrailingSlash(path)), O_RDONLY | O_DIRECTORY, dir) == 0)
      EarlierMarks(sys, dir.Get(), "", token, date, first);
    if (!first.empty()) {
      return Refused(
          "it holds a mark due earlier, which a run would no longer read: " +
          EscapeControlBytes(JoinPath(std::string(WithoutTrailingSlash(path)), first.substr(1))));
    }
  }
  if (DateBeforeStamp(date, info.stamp)) {
    return Refused("the date is before the file's last change (" + info.stamp.ToIsoText() +
                   "): a run would never remove it");
  }
  return Rename(sys, parts, path, new_name, rename);
}

MarkOutcome UnmarkFile(Sys& sys, const std::string& path, const std::string& token) {
  if (token.empty()) return Refused("the prefix token is empty");
  const Parts parts = Split(path);
  try {
    Info(sys, path);
  } catch (const KsError& e) {
    return Refused(std::strerror(e.Number()));
  }
  const auto new_name = UnmarkedName(parts.name, token);
  if (!new_name) return Refused("the name carries no mark \"" + token + "MM-DD-YYYY\"");
  return Rename(sys, parts, path, *new_name);
}

}  // namespace kestrel
