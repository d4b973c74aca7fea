#pragma once

#include <csignal>

#include "cleanup/run_control.h"

namespace kestrel {

// While it lives, SIGTERM, SIGINT and SIGHUP ask control's run to stop after the file being
// moved (as the window's Stop does) instead of killing the process; the signal goes to
// control.signal. The handlers before it come back when it goes.
class SignalStop {
 public:
  explicit SignalStop(RunControl& control);
  ~SignalStop();
  SignalStop(const SignalStop&) = delete;
  SignalStop& operator=(const SignalStop&) = delete;

 private:
  struct sigaction old_[3] {};
};

}  // namespace kestrel
