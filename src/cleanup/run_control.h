#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <set>
#include <string>

namespace kestrel {

// What another thread may ask of a run in progress and see of it.
struct RunControl {
  std::atomic<bool> stop{false};
  // The signal that set stop, or 0 (set from a signal handler: lock-free).
  std::atomic<int> signal{0};
  // Folders this run has scanned so far.
  std::atomic<std::int32_t> folders_scanned{0};
  // Files whose removal date has come, once discovery is done; -1 before.
  std::atomic<std::int64_t> files_due{-1};
  // Set before the run starts: its purge deletes only these quarantine paths (a preview's list).
  std::optional<std::set<std::string>> purge_only;

  bool StopRequested() const { return stop.load(std::memory_order_relaxed); }
};

}  // namespace kestrel
