#pragma once

#include <string>

#include "platform/clock.h"
#include "platform/print_device.h"
#include "reports/report.h"

namespace kestrel {

// Prints a report double-spaced in Courier New 10 pt between margins of 5% of the page width,
// wrapping long lines at the last character that fits. The device pages by itself.
class PrintWriter final : public IReportWriter {
 public:
  // Sets the device's font. The device must outlive the writer.
  PrintWriter(PrintDevice& device, const Clock& clock);
  // Ends the document, also after a failure; a failure of its own is swallowed.
  ~PrintWriter() override;
  PrintWriter(const PrintWriter&) = delete;
  PrintWriter& operator=(const PrintWriter&) = delete;

  // Long lines continue at the margin with their leading spaces dropped; a line break follows
  // each report line. At least one character goes on a line however narrow the page.
  void WriteLn(const std::string& text_line) override;
  // "Kestrel Report - " + header + " - " + now, centred between two empty lines above and below.
  void WriterHeader(const std::string& header_text) override;
  void Device(TextBox*) override {}

 private:
  PrintDevice& device_;
  const Clock& clock_;
};

// 5% of the page width in whole twips, a half rounding to the even neighbour.
int PrintMargin(int page_width);

}  // namespace kestrel
