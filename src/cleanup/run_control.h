#pragma once

#include <atomic>
#include <cstdint>

namespace kestrel {

// What another thread may ask of a run in progress and see of it.
struct RunControl {
  std::atomic<bool> stop{false};
  // The signal that set stop, or 0 (set from a signal handler: lock-free).
  std::atomic<int> signal{0};
  // Folders this run has scanned so far.
  std::atomic<std::int32_t> folders_scanned{0};

  bool StopRequested() const { return stop.load(std::memory_order_relaxed); }
};

}  // namespace kestrel
