#include "app/signal_stop.h"

#include <atomic>

namespace kestrel {
namespace {

constexpr int kSignals[3] = {SIGTERM, SIGINT, SIGHUP};
std::atomic<RunControl*> g_control{nullptr};

void Handle(int signal) {
  RunControl* control = g_control.load();
  if (control == nullptr) return;
  int none = 0;
  control->signal.compare_exchange_strong(none, signal);
  control->stop.store(true);
}

}  // namespace

SignalStop::SignalStop(RunControl& control) {
  g_control.store(&control);
  struct sigaction action {};
  action.sa_handler = Handle;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;  // the file being moved finishes its system calls
  for (int i = 0; i < 3; ++i) sigaction(kSignals[i], &action, &old_[i]);
}

SignalStop::~SignalStop() {
  for (int i = 0; i < 3; ++i) sigaction(kSignals[i], &old_[i], nullptr);
  g_control.store(nullptr);
}

}  // namespace kestrel
