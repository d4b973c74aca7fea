#pragma once

#include <QFont>
#include <QPainter>
#include <memory>
#include <string>

#include "platform/print_device.h"

class QPrinter;

namespace kestrel {

// The font by that name when it is fixed-pitch, else the system's fixed-pitch font.
QFont FixedPitchFont(const QString& family, double points);

// The print device over a QPrinter, measuring in twips. The document opens with the first
// printed line; a line that would cross the bottom of the page goes to a new page.
class QtPrintDevice final : public PrintDevice {
 public:
  explicit QtPrintDevice(std::unique_ptr<QPrinter> printer);
  // Ends a document still open.
  ~QtPrintDevice() override;
  QtPrintDevice(const QtPrintDevice&) = delete;
  QtPrintDevice& operator=(const QtPrintDevice&) = delete;

  void SetFont(const std::string& name, double points) override;
  int PageWidth() const override;
  float PrintableWidth() const override;
  float TextWidth(const std::string& text) const override;
  void SetCurrentX(float twips) override { x_ = twips; }
  // Throws KsError when the printer cannot start the document or a new page.
  void PrintLine(const std::string& text) override;
  // Throws KsError when the printer could not finish the document.
  void EndDoc() override;

  QPrinter& Printer() { return *printer_; }

 private:
  double PixelsPerTwip() const;
  void PrintPiece(const QString& piece);

  std::unique_ptr<QPrinter> printer_;
  QPainter painter_;
  QFont font_;
  float x_ = 0;
  double y_ = 0;  // top of the current line, device pixels from the printable area's top
};

}  // namespace kestrel
