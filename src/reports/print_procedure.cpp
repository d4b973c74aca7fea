#include "reports/print_procedure.h"

#include <memory>

#include "platform/dialogs.h"
#include "reports/print_writer.h"

namespace kestrel {

void PrintThroughDialog(Dialogs& dialogs, const Clock& clock,
                        const std::function<void(IReportWriter&)>& write_content) {
  try {
    const std::unique_ptr<PrintDevice> device = dialogs.ShowPrintDialog();
    if (!device) return;
    PrintWriter writer(*device, clock);
    write_content(writer);
  } catch (...) {
    // Printing reports no failures: the job ends with what was printed so far.
  }
}

}  // namespace kestrel
