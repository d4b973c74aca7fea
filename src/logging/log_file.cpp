#include "logging/log_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

#include "fs/outside.h"
#include "platform/error.h"
#include "platform/escape_text.h"

namespace kestrel {
namespace {

constexpr const char* kStopLine =
    "-------  Logging stopped because size limit was reached.  -------";
constexpr const char* kSource = "LogFile";

// Opens the log for writing only when it is a regular file (or a new one): never through a
// link planted in its place, and never waiting on a FIFO there.
int OpenLog(Sys& sys, const std::string& path, int flags) {
  const int fd =
      sys.OpenAt(AT_FDCWD, path.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
  if (fd < 0) throw SystemError(errno, "open", path, kSource);
  struct stat st;
  if (sys.FStat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    sys.Close(fd);
    throw KsError(kAppError, "The log " + EscapeControlBytes(path) + " is not a file", kSource);
  }
  return fd;
}

}  // namespace

std::int64_t CharacterCount(const std::string& text) {
  size_t i = 0;
  // ASCII, nearly every line, counts without decoding.
  while (i < text.size() && static_cast<unsigned char>(text[i]) < 0x80) ++i;
  auto count = static_cast<std::int64_t>(i);
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    size_t len = lead < 0x80           ? 1
                 : (lead >> 5) == 0x6  ? 2
                 : (lead >> 4) == 0xE  ? 3
                 : (lead >> 3) == 0x1E ? 4
                                       : 1;
    if (i + len > text.size()) len = 1;
    for (size_t k = 1; k < len; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) {
        len = 1;
        break;
      }
    }
    i += len;
    ++count;
  }
  return count;
}

LogFile::LogFile(Outside& outside) : outside_(outside) {}

LogFile::~LogFile() {
  if (fd_ >= 0) outside_.sys.Close(fd_);
}

const std::string& LogFile::Stamp() {
  const DateTime now = outside_.clock.Now();
  if (now != stamp_time_) {
    stamp_time_ = now;
    stamp_text_ = "[" + now.ToDisplayText() + "] ";
  }
  return stamp_text_;
}

void LogFile::Initialize(std::int32_t max_kb) {
  Sys& sys = outside_.sys;
  written_count_ = 0;
  limit_ = static_cast<std::int64_t>(max_kb) * 1000;
  log_path_ = ProgramFile(outside_, "Kestrel.log");
  logging_on_ = true;
  holding_ = false;
  held_.clear();
  held_ends_.clear();
  if (fd_ >= 0) sys.Close(fd_);
  fd_ = -1;
  fd_ = OpenLog(sys, log_path_, O_WRONLY | O_CREAT | O_TRUNC | O_APPEND);
  WriteLogMessage(Stamp() + "Kestrel log started");
}

std::int32_t LogFile::WriteLogMessage(const std::string& message, bool force) {
  if (!force && !logging_on_) return 0;
  // One buffer for every line: a run writes one a folder.
  std::string& line = line_;
  line.assign(Stamp()).append(message).push_back('\n');
  written_count_ += CharacterCount(line);
  Append(line);
  if (!force && written_count_ > limit_) {
    Append(std::string(kStopLine) + "\n");
    logging_on_ = false;
  }
  if (holding_) held_ends_.push_back(held_.size());
  return 0;
}

bool LogFile::Hold() {
  holding_ = fd_ >= 0;
  return holding_;
}

void LogFile::WriteHeld(const std::function<void(std::exception_ptr)>& outcome) {
  holding_ = false;
  int error = 0;
  const size_t done = WriteOut(held_, error);
  size_t line = 0;
  for (; line < held_ends_.size() && held_ends_[line] <= done; ++line) outcome(nullptr);
  if (line < held_ends_.size()) {
    outcome(std::make_exception_ptr(SystemError(error, "write", log_path_, kSource)));
    for (++line; line < held_ends_.size(); ++line) {
      const size_t begin = held_ends_[line - 1];
      try {
        Append(held_.substr(begin, held_ends_[line] - begin));
      } catch (...) {
        outcome(std::current_exception());
        continue;
      }
      outcome(nullptr);
    }
  }
  held_.clear();
  held_ends_.clear();
}

void LogFile::Append(const std::string& text) {
  if (holding_) {
    held_ += text;
    return;
  }
  Sys& sys = outside_.sys;
  if (fd_ < 0) {
    // A forced line before any run: the log is opened for this line only.
    if (log_path_.empty()) log_path_ = ProgramFile(outside_, "Kestrel.log");
    fd_ = OpenLog(sys, log_path_, O_WRONLY | O_CREAT | O_APPEND);
  }
  int error = 0;
  if (WriteOut(text, error) < text.size()) throw SystemError(error, "write", log_path_, kSource);
}

size_t LogFile::WriteOut(std::string_view text, int& error) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = outside_.sys.Write(fd_, text.data() + done, text.size() - done);
    if (n <= 0) {
      error = n < 0 ? errno : EIO;
      break;
    }
    done += static_cast<size_t>(n);
  }
  return done;
}

}  // namespace kestrel
