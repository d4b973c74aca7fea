#pragma once

#include <memory>
#include <string>

#include "reports/report.h"

namespace kestrel {

class Clock;
class KestrelCfg;

// The current configuration's options and folder lists, read at the moment of viewing or
// printing, so edits not yet saved show too.
class SettingsReport final : public IReport {
 public:
  // current names the program's current configuration, replaced as a whole on New and Open.
  SettingsReport(const Clock& clock, const std::shared_ptr<KestrelCfg>& current)
      : clock_(clock), current_(current) {}

  void ViewReport(TextBox& disp) override;
  void PrintReport(Dialogs& dialogs) override;
  std::string Name() const override { return "Settings Report"; }
  std::string Description() const override;

 private:
  // The same lines for the box and the printer; the box ignores the header.
  void WriteReport(IReportWriter& writer) const;

  const Clock& clock_;
  const std::shared_ptr<KestrelCfg>& current_;
};

}  // namespace kestrel
