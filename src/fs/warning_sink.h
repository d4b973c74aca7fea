#pragma once

#include <string>

namespace kestrel {

// Where the file-system layer hands a warning it raises; the run's warning report above it.
class WarningSink {
 public:
  virtual ~WarningSink() = default;
  virtual void RecordWarning(const std::string& warning) = 0;
};

}  // namespace kestrel
