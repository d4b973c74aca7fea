#include "platform/console_error_reporter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

namespace kestrel {

namespace {

// Appends to the log only when it is a regular file (or a new one): never through a link
// planted in its place, and never waiting on a FIFO there.
void AppendToLog(const std::string& path, const std::string& text) {
  const int fd = ::open(path.c_str(),
                        O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
  if (fd < 0) return;
  struct stat st;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    for (size_t done = 0; done < text.size();) {
      const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
  }
  ::close(fd);
}

}  // namespace

ConsoleErrorReporter::ConsoleErrorReporter(const Clock& clock, std::string program_folder)
    : clock_(clock), program_folder_(std::move(program_folder)) {}

std::string HexNumber(std::int32_t number) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(number));
  return buf;
}

std::int32_t ConsoleErrorReporter::ReportError(std::int32_t number, const std::string& description,
                                               const std::string& location, std::int32_t,
                                               const std::string& log_name,
                                               const std::string& app_name) {
  try {
    const std::string text =
        app_name + ": error " + HexNumber(number) + " in " + location + "\n" + description + "\n";
    std::fputs(text.c_str(), stderr);
    std::fflush(stderr);
    if (!program_folder_.empty() && !log_name.empty()) {
      AppendToLog(program_folder_ + "/" + log_name,
                  "[" + clock_.Now().ToDisplayText() + "] " + text);
    }
  } catch (...) {
    // Reporting must never become a second failure.
  }
  return 0;
}

}  // namespace kestrel
