#include <type_traits>

#include "app/functions.h"
#include "reports/report.h"
#include "reports/run_records.h"
#include "ui/main_window.h"

#if __has_include("reports/settings_report.h")
#include "reports/settings_report.h"
#define KESTREL_SETTINGS_REPORT 1
#endif

namespace kestrel {

namespace {

template <typename Report>
IReport* AsReport(Report* report) {
  if constexpr (std::is_base_of_v<IReport, Report>) {
    return report;
  } else {
    return nullptr;
  }
}

}  // namespace

// Null for a report that cannot be shown; its commands then do nothing.
IReport* MainWindow::ReportOf(ReportKind kind) const {
  switch (kind) {
    case ReportKind::Settings:
#ifdef KESTREL_SETTINGS_REPORT
      return AsReport(fn_.SettingsRpt.get());
#else
      return nullptr;
#endif
    case ReportKind::FileRemoval:
      return AsReport(fn_.FileRemovalRpt.get());
    case ReportKind::Warning:
      return AsReport(fn_.WarningRpt.get());
  }
  return nullptr;
}

}  // namespace kestrel
