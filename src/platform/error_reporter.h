#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace kestrel {

// The outside component every reporting handler hands its error to.
class ErrorReporter {
 public:
  virtual ~ErrorReporter() = default;
  // location is the handler's name, a line break, then the error's source.
  virtual std::int32_t ReportError(std::int32_t number, const std::string& description,
                                   const std::string& location, std::int32_t context,
                                   const std::string& log_name, const std::string& app_name) = 0;
};

// What a reporting handler does with the exception it caught: report it under the handler's
// procedure name ("KestrelCfg.Load") and return. Exceptions that are not KsError are reported
// with the application error number and their what() text. Never throws.
void ReportHandled(ErrorReporter& reporter, const std::string& procedure, std::exception_ptr error);

}  // namespace kestrel
