#pragma once

#include <string>

#include "reports/report.h"

namespace kestrel {

// Writes a report's lines into a text box, separated by "\n", without header, trimming or
// wrapping.
class TextBoxWriter final : public IReportWriter {
 public:
  // Takes the box and empties it. Throws KsError for a null box.
  void Device(TextBox* device) override;
  // Adds "\n" first unless the box is empty, so an empty first line leaves no trace.
  // Throws KsError when no box was set.
  void WriteLn(const std::string& text_line) override;
  void WriterHeader(const std::string&) override {}

 private:
  TextBox* device_ = nullptr;
};

}  // namespace kestrel
