#include "ui/qt_print_dialog.h"

#include <QPrintDialog>
#include <QPrinter>

#include "ui/qt_print_device.h"

namespace kestrel {

std::unique_ptr<PrintDevice> ShowQtPrintDialog(QWidget* parent) {
  auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
  QPrintDialog dialog(printer.get(), parent);
  dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
  dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
  if (dialog.exec() != QDialog::Accepted) return nullptr;
  return std::make_unique<QtPrintDevice>(std::move(printer));
}

}  // namespace kestrel
