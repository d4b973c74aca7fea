#include "app/functions.h"
#include "reports/report.h"
#include "reports/run_records.h"
#include "ui/main_window.h"

#include "reports/settings_report.h"

namespace kestrel {

// Null for a report that cannot be shown; its commands then do nothing.
IReport* MainWindow::ReportOf(ReportKind kind) const {
  switch (kind) {
    case ReportKind::Settings:
      return fn_.SettingsRpt.get();
    case ReportKind::FileRemoval:
      return fn_.FileRemovalRpt.get();
    case ReportKind::Warning:
      return fn_.WarningRpt.get();
  }
  return nullptr;
}

}  // namespace kestrel
