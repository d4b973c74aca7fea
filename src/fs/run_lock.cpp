#include "fs/run_lock.h"

#include <sys/file.h>
#include <sys/stat.h>

#include <cerrno>
#include <exception>
#include <utility>

#include "fs/trust.h"
#include "platform/error.h"
#include "platform/error_reporter.h"
#include "platform/escape_text.h"

namespace kestrel {
namespace {

constexpr const char* kSource = "RunLock";
constexpr int kPauseMilliseconds = 100;

}  // namespace

RunLock::RunLock(Sys& sys, const std::string& program_folder)
    : sys_(sys),
      path_((program_folder.empty() || program_folder.back() == '/' ? program_folder
                                                                    : program_folder + "/") +
            ".kestrel.lock") {}

RunLock::~RunLock() {
  // Closing the last descriptor lets the lock go.
  if (fd_ >= 0) sys_.Close(fd_);
}

bool RunLock::Acquire(const Clock& clock, std::int64_t wait_seconds) {
  if (held_) return true;
  if (fd_ < 0) {
    // Never through a link planted in its place, and never waiting on a FIFO there.
    fd_ = sys_.OpenAt(AT_FDCWD, path_.c_str(),
                      O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd_ < 0) throw SystemError(errno, "open", path_, kSource);
    try {
      CheckPrivate();
    } catch (...) {
      sys_.Close(std::exchange(fd_, -1));
      throw;
    }
  }
  const std::int64_t start = clock.Now().Seconds();
  while (sys_.Flock(fd_, LOCK_EX | LOCK_NB) != 0) {
    if (errno != EWOULDBLOCK) throw SystemError(errno, "flock", path_, kSource);
    if (wait_seconds <= 0 || clock.Now().Seconds() - start > wait_seconds) return false;
    clock.Sleep(kPauseMilliseconds);
  }
  held_ = true;
  return true;
}

// Another user who can open the lock file can hold it and so stop every run of its owner.
void RunLock::CheckPrivate() {
  struct stat st;
  if (sys_.FStat(fd_, &st) != 0) throw SystemError(errno, "stat", path_, kSource);
  if (!S_ISREG(st.st_mode)) {
    throw KsError(kAppError, "The run lock " + EscapeControlBytes(path_) + " is not a file",
                  kSource);
  }
  const uid_t uid = sys_.GetUid();
  if (st.st_uid != uid) throw KsError(kAppError, Distrust(path_, st, uid), kSource);
  if ((st.st_mode & 07777) != 0600 && sys_.FChmod(fd_, 0600) != 0) {
    throw SystemError(errno, "chmod", path_, kSource);
  }
}

bool TakeRunLock(RunLock& lock, const Clock& clock, ErrorReporter& reporter,
                 std::int64_t wait_seconds, const std::string& procedure) {
  try {
    if (lock.Acquire(clock, wait_seconds)) return true;
  } catch (...) {
    ReportHandled(reporter, procedure, std::current_exception());
    return false;
  }
  try {
    reporter.ReportError(kAppError, kRunInProgress, procedure + "\n" + procedure, 0, "", "Kestrel");
  } catch (...) {
    // The reporter is the last resort.
  }
  return false;
}

}  // namespace kestrel
