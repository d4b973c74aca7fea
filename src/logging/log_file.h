#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/date_time.h"

namespace kestrel {

struct Outside;

// The run log "Kestrel.log" in the program folder: "[" + date-time + "] " + message per line,
// started afresh by every run and stopped once it outgrows MaxKBLogFile x 1000 characters.
class LogFile {
 public:
  explicit LogFile(Outside& outside);
  ~LogFile();
  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;

  // Empties the log, resets the count, turns logging on with a limit of max_kb x 1000
  // characters and writes the start line. Throws KsError when the file cannot be created.
  void Initialize(std::int32_t max_kb);
  // Writes one line unless logging is off and force is false; always returns 0.
  // Throws KsError when the line cannot be written.
  std::int32_t WriteLogMessage(const std::string& message, bool force = false);

  // Lines written from now on wait in memory, until WriteHeld: a walk logs a folder a line, and
  // a write each would cost more than the rest of its work. Returns false, holding nothing,
  // when the log is not open.
  bool Hold();
  // Writes the held lines and stops holding. Tells outcome of each line held (each call of
  // WriteLogMessage), in order: nullptr, or what writing it threw. As when writing them one by
  // one, a line that fails is told before the next is tried, and each after it is tried alone.
  void WriteHeld(const std::function<void(std::exception_ptr)>& outcome);

  const std::string& LogPath() const { return log_path_; }
  bool LoggingOn() const { return logging_on_; }
  std::int64_t WrittenCount() const { return written_count_; }

 private:
  void Append(const std::string& text);
  // Writes text until done or a write fails; returns the bytes written, and sets error on a
  // failure.
  size_t WriteOut(std::string_view text, int& error);
  const std::string& Stamp();

  Outside& outside_;
  std::int64_t limit_ = 0;
  std::int64_t written_count_ = 0;
  std::string log_path_;
  bool logging_on_ = false;
  // The file stays open for the whole run: one write per line, no reopening.
  int fd_ = -1;
  DateTime stamp_time_{-1};
  std::string stamp_text_;
  std::string line_;
  bool holding_ = false;
  std::string held_;
  std::vector<size_t> held_ends_;  // where each held line ends in held_
};

// Characters of a UTF-8 text; each byte of an invalid sequence counts as one.
std::int64_t CharacterCount(const std::string& text);

}  // namespace kestrel
