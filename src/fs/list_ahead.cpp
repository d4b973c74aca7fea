#include "fs/list_ahead.h"

#include <sched.h>

#include <algorithm>
#include <cstdlib>

namespace kestrel {

struct ListAhead::Job {
  enum class State { kQueued, kListing, kDone };
  std::shared_ptr<const Folder> parent;
  std::string name;
  State state = State::kQueued;
  Listing result;
};

ListAhead::ListAhead(int threads, std::string mask, size_t window)
    : mask_(std::move(mask)), window_(window) {
  // The walk's own thread lists too: one more per core would only take turns with it.
  for (int i = 1; i < threads; ++i) threads_.emplace_back([this] { Work(); });
}

ListAhead::~ListAhead() {
  {
    const std::lock_guard hold(lock_);
    closing_ = true;
  }
  work_.notify_all();
  for (std::thread& t : threads_) t.join();
}

void ListAhead::Push(const std::shared_ptr<const Folder>& parent, std::vector<Entry> entries) {
  if (entries.empty()) return;
  const std::lock_guard hold(lock_);
  for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
    auto job = std::make_shared<Job>();
    job->parent = parent;
    job->name = std::move(it->name);
    job->result.path = std::move(it->path);
    queue_.push_front(std::move(job));
  }
  // A thread that ran out of folders takes the new ones at once, however far ahead it is.
  if (idle_ > 0 && NextJob() != nullptr) work_.notify_one();
}

Listing ListAhead::Take() {
  std::unique_lock hold(lock_);
  const std::shared_ptr<Job> job = std::move(queue_.front());
  queue_.pop_front();
  if (job->state == Job::State::kQueued) {
    hold.unlock();
    List(*job);
    return std::move(job->result);
  }
  // Rather than sleep while another thread lists it, list a folder the walk needs later.
  while (job->state != Job::State::kDone) {
    if (const std::shared_ptr<Job> other = NextJob()) {
      other->state = Job::State::kListing;
      ++ahead_;
      hold.unlock();
      List(*other);
      hold.lock();
      other->state = Job::State::kDone;
      continue;
    }
    walk_waits_ = true;
    awaited_ = job.get();
    done_.wait(hold, [&] { return job->state == Job::State::kDone; });
    walk_waits_ = false;
  }
  --ahead_;
  // The window moved on: a listing thread may start the next folder.
  WakeListers();
  return std::move(job->result);
}

void ListAhead::Clear() {
  std::unique_lock hold(lock_);
  std::erase_if(queue_, [](const auto& job) { return job->state == Job::State::kQueued; });
  walk_waits_ = true;
  awaited_ = nullptr;
  done_.wait(hold, [&] {
    return std::none_of(queue_.begin(), queue_.end(),
                        [](const auto& job) { return job->state == Job::State::kListing; });
  });
  walk_waits_ = false;
  ahead_ -= queue_.size();
  queue_.clear();
}

void ListAhead::WakeListers() {
  // Sleeping threads wake only once the window is half empty, for a run of folders each.
  if (idle_ > 0 && ahead_ <= window_ / 2 && NextJob() != nullptr) work_.notify_one();
}

std::shared_ptr<ListAhead::Job> ListAhead::NextJob() const {
  if (ahead_ >= window_) return nullptr;
  // Only the folders the walk needs soonest: the window counts from the queue's front.
  const size_t end = std::min(window_, queue_.size());
  for (size_t i = 0; i < end; ++i) {
    if (queue_[i]->state == Job::State::kQueued) return queue_[i];
  }
  return nullptr;
}

void ListAhead::Work() {
  std::unique_lock hold(lock_);
  while (true) {
    std::shared_ptr<Job> next;
    ++idle_;
    work_.wait(hold, [&] { return closing_ || (next = NextJob()) != nullptr; });
    --idle_;
    if (closing_) return;
    next->state = Job::State::kListing;
    ++ahead_;
    // Another folder waits: let a second thread take it while this one lists.
    WakeListers();
    hold.unlock();
    List(*next);
    hold.lock();
    next->state = Job::State::kDone;
    if (walk_waits_ && (awaited_ == nullptr || awaited_ == next.get())) done_.notify_one();
  }
}

void ListAhead::List(Job& job) const {
  Listing& r = job.result;
  try {
    r.folder = job.parent->OpenChild(job.name);
    if (r.folder.Valid()) r.folder.List(mask_, r.matches, r.subfolders);
    // Nothing is opened below it: its descriptor is closed here, not on the walk's thread.
    if (r.subfolders.empty()) r.folder.LetGo();
  } catch (...) {
    r.error = std::current_exception();
  }
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
