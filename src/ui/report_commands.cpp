#include "ui/report_commands.h"

#include "reports/report.h"
#include "ui/report_view.h"

namespace kestrel {

void ShowReport(QWidget* owner, IReport& report) {
  ReportView viewer(owner);
  viewer.SetReport(&report);
  viewer.Load();
  viewer.exec();
}

void PrintReport(Dialogs& dialogs, IReport& report) {
  report.PrintReport(dialogs);
}

}  // namespace kestrel
