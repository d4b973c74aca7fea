#pragma once

#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/date_time.h"

namespace kestrel::journal {

inline constexpr int kFormatVersion = 1;
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
};

// The include folder a file was found under; dev and ino of the folder it names.
struct IncludeFacts {
  std::string path;
  dev_t dev = 0;
  ino_t ino = 0;
  bool link = false;  // the include path itself was a symbolic link
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
