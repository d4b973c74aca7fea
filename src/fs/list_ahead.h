#pragma once

#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "fs/folder.h"

namespace kestrel {

// One folder of a walk, opened and listed.
struct Listing {
  std::string path;
  Folder folder;  // invalid when it could not be opened
  std::vector<std::string> matches, subfolders;
  std::exception_ptr error;  // what opening or listing threw
};

// Lists the folders of a depth-first walk ahead of it on a few threads, and hands the
// listings back in the order a walk on one thread would list them, so that the walk does and
// writes the same whatever the count. At most `window` folders wait listed, each holding a
// descriptor. Take and Push belong to one thread, the walk's.
class ListAhead {
 public:
  struct Entry {
    std::string path, name;  // name: relative to the parent's descriptor
  };
  // threads 1: every folder is listed on the walk's own thread.
  ListAhead(int threads, std::string mask, size_t window = 64);
  ~ListAhead();
  ListAhead(const ListAhead&) = delete;
  ListAhead& operator=(const ListAhead&) = delete;

  // Queues the subfolders of parent, in walk order, before everything queued earlier.
  void Push(const std::shared_ptr<const Folder>& parent, std::vector<Entry> entries);
  bool Empty() const { return queue_.empty(); }
  // The next folder in walk order, listed on this thread when no other has taken it.
  Listing Take();
  // Drops what is queued, once the folders being listed now are done.
  void Clear();

 private:
  struct Job;
  void Work();
  void List(Job& job) const;

  const std::string mask_;
  const size_t window_;
  // Wakes only a thread that sleeps: every futex call is one the walk pays for.
  void WakeListers();
  std::shared_ptr<Job> NextJob() const;

  std::mutex lock_;
  std::condition_variable work_;  // a listing thread waits for a folder to list
  std::condition_variable done_;  // the walk waits for a folder being listed
  std::deque<std::shared_ptr<Job>> queue_;  // front: next in walk order
  size_t ahead_ = 0;                        // taken by a listing thread, not yet by the walk
  int idle_ = 0;                            // listing threads waiting
  bool walk_waits_ = false;
  const Job* awaited_ = nullptr;  // what the walk waits for; null: every folder being listed
  bool closing_ = false;
  std::vector<std::thread> threads_;
};

// The threads a walk lists folders on: KESTREL_THREADS when set, else one per core, never
// more than the cores. Returns 0 and sets why when the variable is not a positive whole number.
int WalkThreads(const char* value, unsigned cores, std::string& why);
// The same for this process's environment and cores; 1 when the variable is refused.
int WalkThreads();

}  // namespace kestrel
