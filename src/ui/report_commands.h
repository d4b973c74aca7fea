#pragma once

class QWidget;

namespace kestrel {

class Dialogs;
class IReport;

// Shows the report in a fresh viewer, modal to the owner, and waits until it is closed.
void ShowReport(QWidget* owner, IReport& report);
// Prints the report through its own print procedure (print dialog first).
void PrintReport(Dialogs& dialogs, IReport& report);

}  // namespace kestrel
