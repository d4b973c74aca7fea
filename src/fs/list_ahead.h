#pragma once

#include <sys/types.h>

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

#include "fs/folder.h"

namespace kestrel {

// One folder of a walk, as the walk hands it over.
struct Listing {
  std::string path;
  int depth = 0;        // 1: a subfolder of the walk's root
  bool opened = false;  // false: a link, not a folder of the root's file system, or not opened
  dev_t dev = 0;
  ino_t ino = 0;
  std::vector<std::string> matches;
  std::exception_ptr error;  // what opening or listing threw
};

// What the walk asks about every subfolder, on any of its threads.
struct WalkRules {
  std::string mask;
  // Returns false for a subfolder (by path) left out, unlisted and unopened. Called on several
  // threads at once.
  std::function<bool(const std::string& path)> enters;
};

// Walks the subfolders of a folder depth-first, each folder's subfolders in byte order of their
// names, on a few threads. Each thread lists a run of the walk alone (a subtree, or what is left
// of several folders' subfolders) and gives the tail of its run to a thread that has none, so the
// threads share no more than a lock every few dozen folders. The listings come back on the
// walking thread in the order of a walk on one thread, so that it does and writes the same
// whatever the count. At most about `window` listings wait to be taken.
class ListAhead {
 public:
  // threads 1: every folder is listed on the walking thread.
  ListAhead(int threads, WalkRules rules, size_t window = 16384);
  ~ListAhead();
  ListAhead(const ListAhead&) = delete;
  ListAhead& operator=(const ListAhead&) = delete;

  // Returns false to leave out the subtree of the folder handed over.
  using Visit = std::function<bool(Listing&)>;
  // Walks below root, listed with these subfolders, at path; hands every folder to visit in walk
  // order until stop (asked before each) says to end. The folders of skipped (inodes on the
  // root's file system) are left out with all they hold and never handed over.
  void Walk(const Folder& root, const std::string& path, std::vector<std::string> subfolders,
            std::unordered_set<ino_t> skipped, const Visit& visit,
            const std::function<bool()>& stop);

 private:
  // Held a moment at a time, by the walk after every folder: a thread that finds it taken spins
  // a little before it sleeps, which would cost more than the wait.
  class Lock {
   public:
    void lock();
    bool try_lock() { return mutex_.try_lock(); }
    void unlock() { mutex_.unlock(); }

   private:
    std::mutex mutex_;
  };
  struct Task;
  struct Run;
  using RunIt = std::list<Run>::iterator;

  void Work();
  // Keeps the calling thread to one core; false when it cannot.
  static bool KeepTo(int core);
  // Lists the next folder of run and queues its subfolders on run's stack; false when the
  // folder was left out.
  bool ListNext(Run& run, Listing& out) const;
  // Produces run on a listing thread, handing its listings over a batch at a time.
  void Produce(RunIt run);
  // Hands the tail of run's stack to a run of its own after it. Under lock_.
  void Split(RunIt run);
  // Tells a thread waiting for a run that there is one. Under lock_.
  void Offered();
  // Wakes the walk, spinning or asleep, waiting for listings or a run. Under lock_.
  void WakeWalk();
  // Asks every run being listed for its tail. Under lock_.
  void AskForWork();
  RunIt FirstFree();
  // Whether the walk takes from run now or next: a listing thread may list it however many
  // listings wait, so that it lists as near to the walk as it can.
  bool Near(RunIt run);
  // Ends a stopped walk once no thread lists for it.
  void Cancel(std::unique_lock<Lock>& hold);

  const WalkRules rules_;
  const Mask mask_;  // rules_.mask taken apart
  const size_t window_;
  // The walk's, set before its first run is queued.
  dev_t device_ = 0;
  std::unordered_set<ino_t> skipped_;

  Lock lock_;
  std::condition_variable_any work_;       // a listing thread waits for a run
  std::condition_variable_any walk_;       // the walk waits for the first run's listings
  std::condition_variable_any next_walk_;  // a thread that cannot list for this walk waits
  unsigned walks_ = 0;                     // walks begun
  Folder root_;                            // this walk's, and its path
  std::string root_path_;
  std::list<Run> runs_;  // in walk order; front: the one the walk takes from
  size_t waiting_ = 0;   // listings handed over and not yet taken
  int idle_ = 0;         // listing threads waiting for a run
  int ahead_ = 0;        // of them, those waiting for the walk to take listings
  bool walk_waits_ = false;
  std::atomic<unsigned> walk_woken_{0};  // times the walk was woken
  std::atomic<unsigned> offered_{0};     // runs made free so far, for a thread waiting for one
  bool cancelled_ = false;
  bool closing_ = false;
  std::vector<int> cores_;  // the walking thread's, then each listing thread's; empty: any
  std::vector<std::thread> threads_;
};

// The threads a walk lists folders on: KESTREL_THREADS when set, else one per core, never
// more than the cores. Returns 0 and sets why when the variable is not a positive whole number.
int WalkThreads(const char* value, unsigned cores, std::string& why);
// The same for this process's environment and cores; 1 when the variable is refused.
int WalkThreads();

}  // namespace kestrel
