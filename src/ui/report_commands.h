#pragma once

class QWidget;

namespace kestrel {

class Dialogs;
class IReport;

// Shows the report in a fresh modal viewer owned by owner and returns when the user closes it.
void ShowReport(QWidget* owner, IReport& report);
// The report's print command: print dialog, then one print job; never shows a message.
void PrintReport(Dialogs& dialogs, IReport& report);

}  // namespace kestrel
