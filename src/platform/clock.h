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
  // The local time of a second is worked out once: a run stamps thousands of log lines in one.
  DateTime Now() const override {
    thread_local std::time_t last = -1;
    thread_local DateTime local;
    const std::time_t now = std::time(nullptr);
    if (now != last) {
      local = DateTime::FromTimeT(now);
      last = now;
    }
    return local;
  }
};

}  // namespace kestrel
