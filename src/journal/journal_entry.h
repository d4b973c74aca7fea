#pragma once

#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/date_time.h"

namespace kestrel::journal {

inline constexpr int kFormatVersion = 2;
inline constexpr const char* kMagic = "kestrel-journal";
inline constexpr const char* kSuffix = ".tsv";

// A file as the run found it, before its move (lstat).
struct FileFacts {
  std::string original;
  std::int64_t size = 0;
  mode_t mode = 0;
  struct timespec mtime {};
  dev_t dev = 0;
  ino_t ino = 0;
  uid_t uid = 0;
  gid_t gid = 0;
  // Read from the journal (the writer finds them itself): the file system's identity (see
  // FsIdentities), the "UID:GID:MODE" of each folder from the include folder down, joined by
  // "/", and a link's target.
  std::string fs;
  std::string owners;
  std::string detail;
};

// The include folder a file was found under; dev and ino of the folder it names.
struct IncludeFacts {
  std::string path;
  dev_t dev = 0;
  ino_t ino = 0;
  bool link = false;  // the include path itself was a symbolic link
  std::string fs;     // its file system's identity
};

enum class State { kPending, kMoved, kFailed, kRestoring, kRestored, kPurged };

struct Entry {
  std::uint64_t number = 0;
  FileFacts file;
  IncludeFacts include;
  State state = State::kPending;
  DateTime moved_at;
  std::string placed;  // where it went: quarantine path or trash file
  std::string info;    // its .trashinfo, for the Trash
  std::string placed_fs;  // the identity of what is at placed (format 2; empty: unknown)
  ino_t placed_ino = 0;
  std::string restored_to;
  DateTime purged_at;  // of a purged entry: when it was deleted from the quarantine
  int error = 0;  // of a failed move or restore
};

struct Problem {
  int line = 0;
  std::string text;
};

// One run's journal as read back: what it says and what in it could not be understood.
struct RunJournal {
  std::string path;
  std::string name;
  int version = 0;
  DateTime start;
  std::string config;
  std::string quarantine;  // empty: the Trash
  bool ended = false;
  std::vector<Entry> entries;  // by number, in the order of the intents
  std::vector<Problem> problems;

  // The entry of that number; null when there is none.
  Entry* Find(std::uint64_t number);
  std::unordered_map<std::uint64_t, size_t> index;  // number -> position in entries
  // The files the run moved (restored ones included) and their bytes.
  std::int64_t MovedFiles() const;
  std::int64_t MovedBytes() const;
};

}  // namespace kestrel::journal
