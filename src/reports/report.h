#pragma once

#include <string>

namespace kestrel {

class Dialogs;

// A text box as the report writers see it: the viewer's read-only report box, or a test double.
class TextBox {
 public:
  virtual ~TextBox() = default;
  virtual std::string Text() const = 0;
  virtual void SetText(const std::string& text) = 0;
  // Returns true iff the box holds no text. Boxes override these two to avoid copying the
  // whole text for every line a writer adds.
  virtual bool IsEmpty() const { return Text().empty(); }
  virtual void Append(const std::string& text) { SetText(Text() + text); }
};

// Where a report's lines go: a text box or the printer.
class IReportWriter {
 public:
  virtual ~IReportWriter() = default;
  virtual void WriteLn(const std::string& text_line) = 0;
  virtual void WriterHeader(const std::string& header_text) = 0;
  virtual void Device(TextBox* device) = 0;
};

// A report that can be viewed and printed.
class IReport {
 public:
  virtual ~IReport() = default;
  // Replaces the box's text with the report's lines; no header.
  virtual void ViewReport(TextBox& disp) = 0;
  // Shows the print dialog and prints; a cancel or any failure ends it silently.
  virtual void PrintReport(Dialogs& dialogs) = 0;
  virtual std::string Name() const = 0;
  virtual std::string Description() const = 0;
};

}  // namespace kestrel
