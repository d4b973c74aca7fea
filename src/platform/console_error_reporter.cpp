#include "platform/console_error_reporter.h"

#include <cstdio>
#include <fstream>

namespace kestrel {

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
      std::ofstream log(program_folder_ + "/" + log_name, std::ios::app | std::ios::binary);
      log << "[" << clock_.Now().ToDisplayText() << "] " << text;
    }
  } catch (...) {
    // Reporting must never become a second failure.
  }
  return 0;
}

}  // namespace kestrel
