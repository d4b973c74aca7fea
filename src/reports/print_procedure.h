#pragma once

#include <functional>

#include "platform/clock.h"
#include "reports/report.h"

namespace kestrel {

// The print command of every report: the print dialog, then one print job holding what
// write_content writes through a PrintWriter. A cancel prints nothing; any failure ends it
// silently, and what was printed before the failure is still sent.
void PrintThroughDialog(Dialogs& dialogs, const Clock& clock,
                        const std::function<void(IReportWriter&)>& write_content);

}  // namespace kestrel
