#pragma once

#include <chrono>
#include <ctime>
#include <thread>

#include "platform/date_time.h"

namespace kestrel {

// The clock seam: "now" for runs, logs and reports.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual DateTime Now() const = 0;
  // Lets time pass before the caller tries again; doubles move their time on instead.
  virtual void Sleep(int milliseconds) const {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  }
};

class SystemClock final : public Clock {
 public:
  DateTime Now() const override { return DateTime::FromTimeT(std::time(nullptr)); }
};

}  // namespace kestrel
