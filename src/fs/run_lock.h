#pragma once

#include <cstdint>
#include <string>

#include "fs/sys.h"
#include "platform/clock.h"

namespace kestrel {

class ErrorReporter;

// What a run is told while another holds the lock.
inline constexpr const char* kRunInProgress = "Another clean-up run is in progress";

// One clean-up run (or restore) at a time per program folder: an exclusive flock(2) on
// ".kestrel.lock" in that folder, held from a successful Acquire until the object goes. The lock
// file is the running user's, mode 0600.
class RunLock {
 public:
  RunLock(Sys& sys, const std::string& program_folder);
  ~RunLock();
  RunLock(const RunLock&) = delete;
  RunLock& operator=(const RunLock&) = delete;

  // Returns true iff the lock is held now. While another process holds it, tries again after
  // short sleeps of the clock until more than wait_seconds have passed (0 or less: one try).
  // Throws KsError when the lock file cannot be opened, made private or locked, or belongs to
  // another user.
  bool Acquire(const Clock& clock, std::int64_t wait_seconds);

 private:
  void CheckPrivate();

  Sys& sys_;
  std::string path_;
  int fd_ = -1;
  bool held_ = false;
};

// Acquire for a run, reporting under procedure when the lock is not had: kRunInProgress goes to
// the reporter with no log name (the log belongs to the run in progress), a failure of the lock
// itself as any error. Returns true iff the lock is held.
bool TakeRunLock(RunLock& lock, const Clock& clock, ErrorReporter& reporter,
                 std::int64_t wait_seconds, const std::string& procedure);

}  // namespace kestrel
