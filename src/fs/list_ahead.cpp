#include "fs/list_ahead.h"

#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdlib>
#include <deque>
#include <iterator>

#include "fs/names.h"

namespace kestrel {
namespace {

// ThreadSanitizer keeps one record per descriptor number for the whole process, and takes a
// number that two tables use for two folders for a race. Under it the threads keep the one
// table and act as if each had its own, so that what they do with their slots is checked.
#if defined(__SANITIZE_THREAD__)
constexpr bool kOneTable = true;
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
constexpr bool kOneTable = true;
#else
constexpr bool kOneTable = false;
#endif
#else
constexpr bool kOneTable = false;
#endif

// Listings a listing thread gathers before it takes the lock to hand them over.
constexpr size_t kBatch = 32;
// How long a thread spins for the lock, or for a run to list, before it sleeps: both mostly come
// within microseconds, sooner than a sleeping thread wakes.
constexpr int kSpins = 1000;

void Pause() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#elif defined(__aarch64__)
  asm volatile("yield");
#endif
}

// Spins a moment, or until changes no longer reads seen.
void SpinFor(const std::atomic<unsigned>& changes, unsigned seen) {
  for (int i = 0; i < kSpins && changes.load(std::memory_order_relaxed) == seen; ++i) Pause();
}

}  // namespace

struct ListAhead::Task {
  Folder parent;
  std::string name, path;
  int depth;
};

struct ListAhead::Run {
  enum class State { kFree, kTaken, kDone };
  // Its lister's alone: the folders still to list, the next at the back.
  std::vector<Task> stack;
  // Under lock_.
  State state = State::kFree;
  bool by_walk = false;
  std::deque<Listing> ready;
  // Read by its lister after every folder.
  std::atomic<bool> split{false};    // a thread has no run: give it this one's tail
  std::atomic<bool> awaited{false};  // the walk waits for this run's listings
};

void ListAhead::Lock::lock() {
  for (int i = 0; i < kSpins; ++i) {
    if (mutex_.try_lock()) return;
    Pause();
  }
  mutex_.lock();
}

ListAhead::ListAhead(int threads, WalkRules rules, size_t window)
    : rules_(std::move(rules)), mask_(rules_.mask), window_(window) {
  // Each thread keeps to a core of its own while the walk lasts: moved between cores, a thread
  // leaves behind what that core holds of its folders, in its caches and in the kernel's
  // per-core ones. Over the bench tree this took 2 to 3% off a run. With more threads than
  // cores (as tests ask for) they are left where the scheduler puts them.
  cpu_set_t allowed;
  CPU_ZERO(&allowed);
  if (threads > 1 && sched_getaffinity(0, sizeof allowed, &allowed) == 0 &&
      CPU_COUNT(&allowed) >= threads) {
    for (int cpu = 0; cpu < CPU_SETSIZE && static_cast<int>(cores_.size()) < threads; ++cpu) {
      if (CPU_ISSET(cpu, &allowed)) cores_.push_back(cpu);
    }
  }
  // The walking thread lists too: one more per core would only take turns with it.
  for (int i = 1; i < threads; ++i) {
    threads_.emplace_back([this, i] {
      if (!cores_.empty()) KeepTo(cores_[static_cast<size_t>(i)]);
      // A table of its own, where the kernel need not share each open, close and read of a
      // folder with the other threads'. Where that is refused (some sandboxes), or for threads
      // beyond the slots, the shared one does.
      bool own = i < Folder::kTables && kOneTable;
      if (i < Folder::kTables && !kOneTable && ::unshare(CLONE_FILES) == 0) {
        // The copy would keep every file the process had open, and any lock on it, as long as
        // this thread: a run's lock, held on past the run. It needs none of them.
        if (::close_range(3, ~0U, 0) != 0) return;
        own = true;
      }
      if (own) Folder::UseOwnTable(i);
      Work();
      if (own) Folder::LeaveOwnTable();
    });
  }
}

ListAhead::~ListAhead() {
  {
    const std::lock_guard hold(lock_);
    closing_ = true;
  }
  work_.notify_all();
  next_walk_.notify_all();
  for (std::thread& t : threads_) t.join();
  // What those threads let go of that was opened here.
  Folder::CloseReleased();
}

void ListAhead::Walk(const Folder& root, const std::string& path,
                     std::vector<std::string> subfolders, std::unordered_set<ino_t> skipped,
                     const Visit& visit, const std::function<bool()>& stop) {
  // The walking thread keeps to its core for the walk only: what follows is its caller's.
  struct Kept {
    cpu_set_t before;
    bool kept = false;
    ~Kept() {
      if (kept) sched_setaffinity(0, sizeof before, &before);
    }
  } kept;
  if (!cores_.empty() && sched_getaffinity(0, sizeof kept.before, &kept.before) == 0)
    kept.kept = KeepTo(cores_[0]);
  device_ = root.Device();
  skipped_ = std::move(skipped);
  std::vector<Task> first;
  for (auto it = subfolders.rbegin(); it != subfolders.rend(); ++it) {
    std::string sub = JoinPath(path, *it);
    if (rules_.enters(sub)) first.push_back({root, std::move(*it), std::move(sub), 1});
  }
  if (first.empty()) return;

  std::unique_lock hold(lock_);
  // A thread with a table of its own opens the root there before it lists for this walk.
  root_ = root;
  root_path_ = path;
  ++walks_;
  next_walk_.notify_all();
  struct Ended {
    ListAhead& walk;
    std::unique_lock<Lock>& hold;
    ~Ended() {
      if (!hold.owns_lock()) hold.lock();
      walk.root_ = Folder();
    }
  } ended{*this, hold};
  cancelled_ = false;
  runs_.emplace_back().stack = std::move(first);
  Offered();

  const RunIt none = runs_.end();
  RunIt mine = none;  // the run this thread lists, if any
  int cut = INT_MAX;  // listings deeper than this lie in a subtree left out
  auto hand = [&](Listing& listing) {
    if (stop()) return false;
    if (listing.depth > cut) return true;
    cut = visit(listing) ? INT_MAX : listing.depth;
    return true;
  };
  std::deque<Listing> ready;
  try {
    while (!runs_.empty()) {
      Run& head = runs_.front();
      if (!head.ready.empty()) {
        ready.swap(head.ready);
        waiting_ -= ready.size();
        if (ahead_ > 0 && waiting_ <= window_ / 2) work_.notify_all();
        hold.unlock();
        for (Listing& listing : ready) {
          if (!hand(listing)) return Cancel(hold);
          // A thread that ran out of folders need not wait for the whole batch.
          if (mine != none && mine->stack.size() > 1 &&
              mine->split.load(std::memory_order_relaxed)) {
            hold.lock();
            Split(mine);
            hold.unlock();
          }
        }
        ready.clear();
        hold.lock();
        continue;
      }
      if (head.state == Run::State::kDone) {
        runs_.pop_front();
        if (ahead_ > 0) work_.notify_all();  // a run further on is near the walk now
        continue;
      }
      // A run is done once its last folder is listed, before it could go back to another thread.
      if (mine != none && mine->stack.empty()) {
        mine->state = Run::State::kDone;
        mine = none;
        if (idle_ > 0) work_.notify_all();
        continue;
      }
      if (head.state == Run::State::kFree) {
        // The walk's next run comes first: one it was listing ahead goes back to whoever is free.
        if (mine != none) {
          mine->state = Run::State::kFree;
          mine->by_walk = false;
          Offered();
        }
        head.state = Run::State::kTaken;
        head.by_walk = true;
        mine = runs_.begin();
      }
      const bool full = waiting_ >= window_;
      if (mine != none && full && !Near(mine)) {
        // Too far ahead of itself: the run goes back for later, for one nearer.
        mine->state = Run::State::kFree;
        mine->by_walk = false;
        mine = none;
      }
      if (mine == none) {
        const RunIt free = FirstFree();
        if (free != none && (!full || Near(free))) {
          mine = free;
          mine->state = Run::State::kTaken;
          mine->by_walk = true;
        } else {
          AskForWork();
        }
      }
      if (mine != none) {
        // Listed straight into the walk when it is the walk's next run, else ahead of it; then,
        // with enough waiting, the walk's next run is cut short, so that it is taken sooner.
        const bool next = mine == runs_.begin();
        if (!next && full) head.split.store(true, std::memory_order_relaxed);
        if (mine->split.load(std::memory_order_relaxed)) Split(mine);
        hold.unlock();
        Listing listing;
        const bool listed = ListNext(*mine, listing);
        if (next) {
          if (listed && !hand(listing)) return Cancel(hold);
          hold.lock();
        } else {
          hold.lock();
          if (listed) {
            mine->ready.push_back(std::move(listing));
            ++waiting_;
          }
        }
        continue;
      }
      head.awaited.store(true, std::memory_order_relaxed);
      walk_waits_ = true;
      // The listings mostly come within microseconds, sooner than a sleeping walk would wake.
      const unsigned seen = walk_woken_.load(std::memory_order_relaxed);
      hold.unlock();
      SpinFor(walk_woken_, seen);
      hold.lock();
      if (walk_woken_.load(std::memory_order_relaxed) == seen) walk_.wait(hold);
      walk_waits_ = false;
      head.awaited.store(false, std::memory_order_relaxed);
    }
  } catch (...) {
    Cancel(hold);
    throw;
  }
}

void ListAhead::Cancel(std::unique_lock<Lock>& hold) {
  if (!hold.owns_lock()) hold.lock();
  cancelled_ = true;
  walk_waits_ = true;
  walk_.wait(hold, [&] {
    return std::none_of(runs_.begin(), runs_.end(), [](const Run& run) {
      return run.state == Run::State::kTaken && !run.by_walk;
    });
  });
  walk_waits_ = false;
  runs_.clear();
  waiting_ = 0;
}

void ListAhead::Work() {
  unsigned ready_for = 0;  // the walk whose root this thread holds, when able
  bool able = false;
  std::unique_lock hold(lock_);
  while (!closing_) {
    Folder::CloseReleased();
    RunIt run = FirstFree();
    const bool far = run != runs_.end() && !Near(run) && waiting_ >= window_;
    if (far) {
      // Enough waits to be taken: a tail of the walk's own run would be listed nearer to it.
      runs_.front().split.store(true, std::memory_order_relaxed);
      run = runs_.end();
    }
    if (run == runs_.end()) {
      AskForWork();
      const unsigned seen = offered_.load(std::memory_order_relaxed);
      hold.unlock();
      SpinFor(offered_, seen);
      hold.lock();
      if (closing_ || offered_.load(std::memory_order_relaxed) != seen) continue;
      ++idle_;
      ahead_ += far ? 1 : 0;
      work_.wait(hold);
      ahead_ -= far ? 1 : 0;
      --idle_;
      continue;
    }
    if (ready_for != walks_) {
      ready_for = walks_;
      able = root_.OpenInOwnTable(root_path_);
    }
    if (!able) {
      // The root is not the walk's any more, or cannot be opened: this walk goes on without
      // this thread.
      next_walk_.wait(hold, [&] { return closing_ || walks_ != ready_for; });
      continue;
    }
    run->state = Run::State::kTaken;
    hold.unlock();
    Produce(run);
    hold.lock();
  }
}

void ListAhead::Produce(RunIt run) {
  std::vector<Listing> batch;
  batch.reserve(kBatch);
  while (true) {
    Listing listing;
    if (!run->stack.empty() && ListNext(*run, listing)) batch.push_back(std::move(listing));
    const bool more = !run->stack.empty();
    if (more && batch.size() < kBatch && !run->awaited.load(std::memory_order_relaxed) &&
        !run->split.load(std::memory_order_relaxed))
      continue;
    std::unique_lock hold(lock_);
    waiting_ += batch.size();
    std::move(batch.begin(), batch.end(), std::back_inserter(run->ready));
    batch.clear();
    if (walk_waits_) WakeWalk();
    if (more && run->split.load(std::memory_order_relaxed)) Split(run);
    if (more && !cancelled_ && waiting_ >= window_) {
      if (!Near(run)) {
        // Too far ahead of the walk: the run goes back for later, for one nearer to the walk.
        run->state = Run::State::kFree;
        return;
      }
      // Next after the walk's run: that run is cut short for it, so the walk comes sooner.
      if (run != runs_.begin()) runs_.front().split.store(true, std::memory_order_relaxed);
    }
    if (!more || cancelled_) {
      run->state = Run::State::kDone;
      if (idle_ > 0) work_.notify_all();
      if (walk_waits_) WakeWalk();
      return;
    }
  }
}

bool ListAhead::ListNext(Run& run, Listing& out) const {
  Folder::CloseReleased();
  Task task = std::move(run.stack.back());
  run.stack.pop_back();
  out.path = std::move(task.path);
  out.depth = task.depth;
  const size_t below = run.stack.size();
  try {
    const Folder folder = task.parent.OpenChild(task.name);
    if (!folder.Valid()) return true;
    if (folder.Device() == device_ && skipped_.count(folder.Inode()) != 0) return false;
    out.opened = true;
    out.dev = folder.Device();
    out.ino = folder.Inode();
    thread_local std::vector<std::string> subfolders;  // its room kept from folder to folder
    subfolders.clear();
    folder.List(mask_, out.matches, subfolders);
    for (auto it = subfolders.rbegin(); it != subfolders.rend(); ++it) {
      std::string path = JoinPath(out.path, *it);
      if (rules_.enters(path))
        run.stack.push_back({folder, std::move(*it), std::move(path), out.depth + 1});
    }
  } catch (...) {
    run.stack.erase(run.stack.begin() + static_cast<std::ptrdiff_t>(below), run.stack.end());
    out.error = std::current_exception();
  }
  return true;
}

void ListAhead::Split(RunIt run) {
  std::vector<Task>& stack = run->stack;
  if (stack.size() < 2) return;
  // The front holds the folders the walk reaches last: the tail of the run. It goes up to the
  // first folder below the parent of the next one, so that the threads seldom open folders
  // below the same one; half of it when all are below that parent.
  const ino_t near = stack.back().parent.Inode();
  const auto shared = std::find_if(
      stack.begin(), stack.end(), [near](const Task& task) { return task.parent.Inode() == near; });
  const auto half = shared != stack.begin() ? shared - stack.begin()
                                            : static_cast<std::ptrdiff_t>(stack.size() / 2);
  const RunIt tail = runs_.emplace(std::next(run));
  tail->stack.assign(std::make_move_iterator(stack.begin()),
                     std::make_move_iterator(stack.begin() + half));
  stack.erase(stack.begin(), stack.begin() + half);
  run->split.store(false, std::memory_order_relaxed);
  Offered();
  if (walk_waits_) WakeWalk();
}

void ListAhead::WakeWalk() {
  walk_woken_.fetch_add(1, std::memory_order_relaxed);
  walk_.notify_one();
}

bool ListAhead::KeepTo(int core) {
  cpu_set_t set;
  CPU_ZERO(&set);
  CPU_SET(core, &set);
  return sched_setaffinity(0, sizeof set, &set) == 0;
}

void ListAhead::Offered() {
  offered_.fetch_add(1, std::memory_order_relaxed);
  if (idle_ > 0) work_.notify_one();
}

void ListAhead::AskForWork() {
  for (Run& run : runs_) {
    if (run.state == Run::State::kTaken) run.split.store(true, std::memory_order_relaxed);
  }
}

bool ListAhead::Near(RunIt run) {
  return run == runs_.begin() || run == std::next(runs_.begin());
}

ListAhead::RunIt ListAhead::FirstFree() {
  return std::find_if(runs_.begin(), runs_.end(),
                      [](const Run& run) { return run.state == Run::State::kFree; });
}

int WalkThreads(const char* value, unsigned cores, std::string& why) {
  const int most = cores == 0 ? 1 : static_cast<int>(std::min(cores, 1024u));
  if (value == nullptr) return most;
  const std::string text(value);
  long count = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') {
      count = 0;
      break;
    }
    count = std::min(count * 10 + (c - '0'), 1L << 20);
  }
  if (count <= 0) {
    why = "KESTREL_THREADS must be a positive whole number, not \"" + text + "\"";
    return 0;
  }
  return static_cast<int>(std::min<long>(count, most));
}

int WalkThreads() {
  cpu_set_t set;
  CPU_ZERO(&set);
  const int cores = sched_getaffinity(0, sizeof set, &set) == 0 ? CPU_COUNT(&set) : 1;
  std::string why;
  const int threads =
      WalkThreads(std::getenv("KESTREL_THREADS"), static_cast<unsigned>(cores), why);
  return threads > 0 ? threads : 1;
}

}  // namespace kestrel
