#pragma once

#include <ctime>

#include "app/functions.h"
#include "cleanup/clean_up.h"
#include "config/kestrel_cfg.h"
#include "fs/sys.h"
#include "logging/log_file.h"
#include "reports/run_records.h"
#include "support/doubles.h"
#include "support/temp_tree.h"

namespace kestrel::test {

inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The program-wide objects over a fake clock, a recording reporter and a temporary program
// folder, with the real file system.
class EngineTest : public ::testing::Test {
 protected:
  explicit EngineTest(Sys& sys = RealSys())
      : clock(At(2026, 12, 6, 10, 0, 0)), fn(Outside{clock, reporter, sys, home.Path()}) {}

  KestrelCfg& Cfg() { return *fn.CurrentCfg; }
  std::string LogText() { return ReadFile(home / "Kestrel.log"); }
  std::vector<std::string> Locations() const { return reporter.Locations(); }

  TempDir home;
  FakeClock clock;
  RecordingReporter reporter;
  Functions fn;
  RunWorld world = fn.World();
};

// Sets the file's last-write time (not following a link) to a local wall-clock time.
inline void SetStamp(const std::string& path, DateTime stamp) {
  const DateTime::Civil c = stamp.ToCivil();
  std::tm tm{};
  tm.tm_year = c.year - 1900;
  tm.tm_mon = c.month - 1;
  tm.tm_mday = c.day;
  tm.tm_hour = c.hour;
  tm.tm_min = c.minute;
  tm.tm_sec = c.second;
  tm.tm_isdst = -1;
  const timespec times[2] = {{std::mktime(&tm), 0}, {std::mktime(&tm), 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << path;
}

// Creates a file with the given size (sparse) and last-write time.
inline void MakeFile(const std::string& path, std::int64_t size, DateTime stamp) {
  WriteFile(path, "");
  std::filesystem::resize_file(path, static_cast<std::uintmax_t>(size));
  SetStamp(path, stamp);
}

}  // namespace kestrel::test
