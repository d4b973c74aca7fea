#pragma once

#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/date_time.h"

namespace kestrel {

class Sys;
class WarningSink;
class ScannedFolders;
class MoveCache;
struct MovePlaced;
class CopyGroup;

// File-system services over POSIX. Keeps no state between calls beyond what it was given.
// No path-length limit: long paths are reached component by component.
class Win32Wrapper {
 public:
  // warnings receives MoveFile's warnings (may be null); scanned, when given, holds the
  // identities of the folders a scan listed so that MoveFile refuses a folder swapped since.
  // cache, when given, keeps the destination and the last source folder open from one
  // MoveFile to the next.
  explicit Win32Wrapper(Sys& sys, WarningSink* warnings = nullptr,
                        const ScannedFolders* scanned = nullptr, MoveCache* cache = nullptr);

  // Full paths of the entries of one folder whose names fit the mask, in byte order.
  // Appends "/" to folder when it has none. A folder that cannot be listed gives none.
  std::vector<std::string> FindFiles(std::string& folder, std::string_view mask);
  // Names of the subfolders (not links, not on another file system, openable) of one folder.
  // Appends "/" to folder when it has none.
  std::vector<std::string> GetSubFolders(std::string& folder);
  // Returns true iff the whole path fits the pattern: "*" any run, "?" one byte, ASCII case
  // ignored, ";" separates alternative patterns (blanks before each are skipped).
  static bool PathMatchesSpec(std::string_view path, std::string_view patterns);
  // Cuts the text at its first NUL; returns it.
  static std::string& StripNulls(std::string& text);

  // Returns true iff anything exists at the path, a dangling link included.
  bool FileExists(const std::string& path);
  // Returns true iff the path names a directory or a link to one.
  bool FolderExists(const std::string& path);
  // Returns true iff the owner's write bit is clear, the file is immutable or append-only, or
  // the path cannot be queried. A link answers for itself; special files are never opened.
  bool FileIsReadOnly(const std::string& path);
  // The mount point of the file system that holds what the path names (a link's target);
  // empty when unknown.
  std::string GetDriveLetter(const std::string& path);
  // Returns true iff both paths exist and lie on the same file system.
  bool SameDrive(const std::string& a, const std::string& b);
  // Bytes available to unprivileged users on the file system of the path; 0 on failure.
  std::uint64_t GetAvailableSpace(const std::string& path);
  // Mount points of local, fixed, writable block-device file systems, sorted by path.
  std::vector<std::string> GetLocalDrives();
  static std::string Filename(const std::string& path);
  static std::string BaseFileName(const std::string& path);
  static std::string FileExtension(const std::string& path);

  // Moves the file (or folder, whole) into the folder to_folder, never overwriting: a taken
  // name becomes "name (2).ext", "name (3).ext", ... An empty to_folder sends it to the
  // FreeDesktop Trash. On failure records "File access is denied: " + path (EACCES, EPERM) or
  // "File system error (" + errno + ") while moving file: " + path as a warning and returns
  // false; the source is then untouched, except for a folder copied to another file system
  // whose source could not be removed in full: the whole copy is then kept. Links move as
  // links; special files only by rename (EXDEV across file systems). A source whose folder
  // the scan knew under another identity is refused (ELOOP). placed, when given, learns where
  // the entry went or the errno. Returns true iff it was moved. With group, a copy into
  // to_folder may join it (see MoveIntoFolder): it counts as moved, and MoveWarning tells what
  // its Finish found.
  bool MoveFile(const std::string& from, const std::string& to_folder = "",
                MovePlaced* placed = nullptr, CopyGroup* group = nullptr);
  // The warnings of a move's outcome: what a copy could not keep, or why it failed.
  void MoveWarning(const std::string& from, const MovePlaced& placed);

  struct FileInfo {
    std::int64_t size = 0;
    DateTime stamp;  // last-write time, local; a link's own
    bool is_directory = false;
    dev_t dev = 0;
    mode_t mode = 0;
    ino_t ino = 0;
    uid_t uid = 0;
    gid_t gid = 0;
    struct timespec mtime {};  // the stamp to the nanosecond
    // Whether the file system reported the immutable and append-only attributes, and if so
    // whether either is set.
    bool attributes_known = false;
    bool immutable = false;
  };
  // lstat of the path (stat when follow_links). Throws KsError (errno, "lstat" and the path)
  // when it cannot be read.
  FileInfo Stat(const std::string& path, bool follow_links = false);
  // FileIsReadOnly from what Stat already read; asks the file system only when the
  // attributes were not reported.
  bool FileIsReadOnly(const std::string& path, const FileInfo& info);
  // Creates the last level of the path. Throws KsError when it cannot.
  void CreateFolder(const std::string& path, mode_t mode = 0777);

 private:
  Sys& sys_;
  WarningSink* warnings_;
  const ScannedFolders* scanned_;
  MoveCache* cache_;
};

}  // namespace kestrel
