#pragma once

#include <ctime>

#include "platform/date_time.h"

namespace kestrel {

// The clock seam: "now" for runs, logs and reports.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual DateTime Now() const = 0;
};

class SystemClock final : public Clock {
 public:
  DateTime Now() const override { return DateTime::FromTimeT(std::time(nullptr)); }
};

}  // namespace kestrel
