#include "platform/error_reporter.h"

#include <cstring>
#include <utility>

#include "platform/error.h"
#include "platform/escape_text.h"

namespace kestrel {

KsError SystemError(int err, const std::string& call, const std::string& path,
                    const std::string& source) {
  return KsError(err, call + " failed for " + EscapeControlBytes(path) + ": " + std::strerror(err),
                 source);
}

void ReportHandled(ErrorReporter& reporter, const std::string& procedure,
                   std::exception_ptr error) {
  std::int32_t number = kAppError;
  std::string description;
  std::string source;
  try {
    std::rethrow_exception(std::move(error));
  } catch (const KsError& e) {
    number = e.Number();
    description = e.Description();
    source = e.Source();
  } catch (const std::exception& e) {
    description = e.what();
    source = procedure;
  } catch (...) {
    description = "Unknown error";
    source = procedure;
  }
  try {
    reporter.ReportError(number, description, procedure + "\n" + source, 0, "Kestrel.log",
                         "Kestrel");
  } catch (...) {
    // The reporter is the last resort; a failure inside it has nowhere left to go.
  }
}

}  // namespace kestrel
