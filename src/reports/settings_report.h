#pragma once

#include <string>

#include "reports/report.h"

namespace kestrel {

class Functions;

// The current configuration's options and folder lists, read at the moment of viewing or
// printing, so edits not yet saved show too.
class SettingsReport final : public IReport {
 public:
  explicit SettingsReport(Functions& fn) : fn_(fn) {}

  void ViewReport(TextBox& disp) override;
  void PrintReport(Dialogs& dialogs) override;
  std::string Name() const override { return "Settings Report"; }
  std::string Description() const override;

 private:
  // The same lines for the box and the printer; the box ignores the header.
  void WriteReport(IReportWriter& writer) const;

  Functions& fn_;
};

}  // namespace kestrel
