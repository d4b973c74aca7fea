#pragma once

#include <functional>
#include <string>
#include <vector>

#include "fs/sys.h"

namespace kestrel::crash {

// One operation to cut off at every call it makes through the seam. Each step starts from the
// tree setup builds; run is the operation, recover what a user's next run or save does; check
// returns what breaks the invariants ("" when they hold), after the crash (recovered false)
// and after the recovery (true).
struct Operation {
  std::string name;
  std::function<void()> setup;
  std::function<void(Sys&)> run;
  std::function<void(Sys&)> recover;
  std::function<std::string(bool recovered)> check;
  // What the whole operation, not cut off, must have done ("" when it did).
  std::function<std::string()> done = [] { return std::string(); };
};

struct Outcome {
  long points = 0;  // calls the whole operation makes: the crash points tried
  std::vector<std::string> faults;
};

// Runs the operation once to count its calls, then once cut off before each call N from 1 to
// that count, each time from a fresh setup, in a child process; checks after each crash and
// after the recovery that follows it. base is the Sys under the counting one.
Outcome CrashAtEveryStep(const Operation& op, Sys& base);

}  // namespace kestrel::crash
