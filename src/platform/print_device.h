#pragma once

#include <string>

namespace kestrel {

// The printer as the print writer sees it. All measures in twips (1/1440 inch).
class PrintDevice {
 public:
  virtual ~PrintDevice() = default;
  virtual void SetFont(const std::string& name, double points) = 0;
  virtual int PageWidth() const = 0;
  virtual float PrintableWidth() const = 0;
  virtual float TextWidth(const std::string& text) const = 0;
  virtual void SetCurrentX(float twips) = 0;
  // Prints at the current position, then moves to the start of the next line; a line break
  // inside the text moves to the next line too. A full page continues on a new one.
  virtual void PrintLine(const std::string& text) = 0;
  // Ends the document and sends the job.
  virtual void EndDoc() = 0;
};

}  // namespace kestrel
