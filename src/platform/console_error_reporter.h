#pragma once

#include <string>

#include "platform/clock.h"
#include "platform/error_reporter.h"

namespace kestrel {

// Writes each error to standard error and appends it, time-stamped, to the log in the program
// folder (not when the log name is empty). Never throws.
class ConsoleErrorReporter : public ErrorReporter {
 public:
  ConsoleErrorReporter(const Clock& clock, std::string program_folder);

  std::int32_t ReportError(std::int32_t number, const std::string& description,
                           const std::string& location, std::int32_t context,
                           const std::string& log_name, const std::string& app_name) override;

 private:
  const Clock& clock_;
  std::string program_folder_;
};

// "0x80040001": the number as eight hex digits.
std::string HexNumber(std::int32_t number);

}  // namespace kestrel
