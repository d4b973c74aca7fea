#pragma once

#include <memory>

#include "platform/print_device.h"

class QWidget;

namespace kestrel {

// The system print dialog without the selection and page-range choices. Returns a device
// owning the chosen printer, or null when the user cancels.
std::unique_ptr<PrintDevice> ShowQtPrintDialog(QWidget* parent);

}  // namespace kestrel
