#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "platform/error_reporter.h"

namespace kestrel {

class Dialogs;

// The reporter of GUI mode: hands every report to the inner reporter (standard error and the
// log) and, once attached to the window's dialogs, also shows it in a modal message box on the
// user-interface thread, whichever thread reported it. Never attached in silent mode.
class GuiErrorReporter final : public ErrorReporter {
 public:
  explicit GuiErrorReporter(ErrorReporter& inner) : inner_(inner) {}

  std::int32_t ReportError(std::int32_t number, const std::string& description,
                           const std::string& location, std::int32_t context,
                           const std::string& log_name, const std::string& app_name) override;

  // Shows the reports kept while detached, then every later one; nullptr stops showing them.
  // Call it on the user-interface thread.
  void Attach(Dialogs* dialogs);

  // Shows one report without handing it on: for a reporter that has already logged it.
  void Display(std::int32_t number, const std::string& description, const std::string& location);

  // The text of the message box for one report.
  static std::string MessageText(std::int32_t number, const std::string& description,
                                 const std::string& location);

 private:
  void Show(const std::string& text, const std::string& caption);

  ErrorReporter& inner_;
  std::mutex mutex_;
  Dialogs* dialogs_ = nullptr;
  // Reports made before the window came up (a failed load at start); a few are enough.
  std::vector<std::pair<std::string, std::string>> pending_;
};

}  // namespace kestrel
