#include "fs/folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <mutex>
#include <unordered_map>
#include <utility>
#include <vector>

#include "fs/dir_entries.h"
#include "fs/fd.h"
#include "fs/mask.h"
#include "fs/path_walk.h"

namespace kestrel {
namespace {

// A chain of open folders would run out of descriptors in a deep tree, so only the deepest
// kWindow levels and every kAnchor-th level stay open; the others are opened again, by name
// from the nearest open ancestor, when they are needed.
constexpr int kWindow = 128;
constexpr int kAnchor = 128;
constexpr int kChildFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW;

// A node's descriptor and its pins in one word, so that opening and listing the folders of
// a walk takes no lock while their descriptors are open: the descriptor + 1 in the high half
// (0: let go), in the low half the threads using it, which keep it open meanwhile.
class SharedFd {
 public:
  // Before the node is shared.
  void Init(int fd) { word_.store(Word(fd, 0), std::memory_order_relaxed); }
  // The descriptor, pinned; -1 when it was let go.
  int TryPin() {
    uint64_t word = word_.load(std::memory_order_acquire);
    while (word >> 32 != 0) {
      if (word_.compare_exchange_weak(word, word + 1, std::memory_order_acquire)) return FdOf(word);
    }
    return -1;
  }
  void Unpin() { word_.fetch_sub(1, std::memory_order_release); }
  // The descriptor, or -1; it may be let go of meanwhile unless pinned.
  int Peek() const { return FdOf(word_.load(std::memory_order_acquire)); }
  // Gives a node that was let go (and so has no pins) the descriptor, pinned; false when
  // another thread gave it one first.
  bool InstallPinned(int fd) {
    uint64_t let_go = 0;
    return word_.compare_exchange_strong(let_go, Word(fd, 1), std::memory_order_acq_rel);
  }
  // Lets go of the descriptor unless a thread is using it; returns it to close, or -1.
  int TakeUnpinned() {
    uint64_t word = word_.load(std::memory_order_acquire);
    while (word >> 32 != 0 && (word & 0xffffffffu) == 0) {
      if (word_.compare_exchange_weak(word, 0, std::memory_order_acq_rel)) return FdOf(word);
    }
    return -1;
  }

 private:
  static uint64_t Word(int fd, uint32_t pins) {
    return static_cast<uint64_t>(static_cast<uint32_t>(fd + 1)) << 32 | pins;
  }
  static int FdOf(uint64_t word) { return static_cast<int>(word >> 32) - 1; }
  std::atomic<uint64_t> word_{0};
};

// The descriptor table this thread opens folders in, and the slot of each folder that holds
// its descriptor in that table: 0, the process's table, shared, unless it has one of its own.
thread_local int tls_slot = 0;
thread_local unsigned tls_table = 0;
std::atomic<unsigned> next_table{1};

// Descriptors of folders released on a thread of another table, which only a thread of their
// own table can close.
class Released {
 public:
  Released() { tables_[0]; }
  void Open(unsigned table) {
    const std::lock_guard hold(mutex_);
    tables_[table];
  }
  // What was left for the table is closed with it, by the kernel.
  void End(unsigned table) {
    const std::lock_guard hold(mutex_);
    const auto it = tables_.find(table);
    if (it == tables_.end()) return;
    waiting_.fetch_sub(it->second.size(), std::memory_order_relaxed);
    tables_.erase(it);
  }
  void Add(unsigned table, Sys& sys, int fd) {
    const std::lock_guard hold(mutex_);
    const auto it = tables_.find(table);
    if (it == tables_.end()) return;  // it ended, closing fd
    it->second.emplace_back(&sys, fd);
    waiting_.fetch_add(1, std::memory_order_relaxed);
  }
  void CloseMine() {
    if (waiting_.load(std::memory_order_relaxed) == 0) return;
    std::vector<std::pair<Sys*, int>> mine;
    {
      const std::lock_guard hold(mutex_);
      const auto it = tables_.find(tls_table);
      if (it == tables_.end()) return;
      mine.swap(it->second);
      waiting_.fetch_sub(mine.size(), std::memory_order_relaxed);
    }
    for (const auto& [sys, fd] : mine) sys->Close(fd);
  }

 private:
  std::mutex mutex_;
  std::unordered_map<unsigned, std::vector<std::pair<Sys*, int>>> tables_;
  std::atomic<size_t> waiting_{0};
};

Released& ReleasedFds() {
  static Released released;
  return released;
}

}  // namespace

struct Folder::Node {
  struct Slot {
    SharedFd fd;
    std::atomic<unsigned> table{0};  // the one fd is in
    // Gives a slot that was let go the descriptor, pinned; false when a thread sharing the
    // slot gave it one first.
    bool Install(int descriptor) {
      table.store(tls_table, std::memory_order_relaxed);
      return fd.InstallPinned(descriptor);
    }
    // Gives the slot a descriptor of this thread's table while no other thread uses it.
    void Set(int descriptor) {
      table.store(tls_table, std::memory_order_relaxed);
      fd.Init(descriptor);
    }
  };

  Node(Sys& s, int descriptor) : sys(&s) { Mine().Set(descriptor); }
  Sys* sys;
  std::shared_ptr<Node> parent;
  std::string name;
  dev_t dev = 0;
  ino_t ino = 0;
  int depth = 0;
  Slot slots[kTables];
  bool listed = false;
  bool fills_reads = false;  // the file system's, see FillsReads

  Slot& Mine() { return slots[tls_slot]; }

  ~Node() {
    for (Slot& slot : slots) {
      const int fd = slot.fd.Peek();
      if (fd < 0) continue;
      const unsigned table = slot.table.load(std::memory_order_relaxed);
      if (table == tls_table) {
        sys->Close(fd);
      } else {
        ReleasedFds().Add(table, *sys, fd);
      }
    }
    // Ancestors that go with this node are released one by one, not from inside each other's
    // destructor, which could exhaust the stack. Each goes through the pointer's own release,
    // never through a look at its count, which would not order it after other threads' use.
    if (parent == nullptr) return;
    if (released_next != nullptr) {
      *released_next = std::move(parent);
      return;
    }
    std::shared_ptr<Node> next;
    released_next = &next;
    for (std::shared_ptr<Node> up = std::move(parent); up != nullptr; up = std::move(next)) {
      up.reset();  // an ancestor going with it leaves its own parent in next
    }
    released_next = nullptr;
  }

 private:
  // Where an ancestor's destructor, run from the loop above on this thread, leaves its parent.
  static thread_local std::shared_ptr<Node>* released_next;
};

thread_local std::shared_ptr<Folder::Node>* Folder::Node::released_next = nullptr;

namespace {

using Node = Folder::Node;

// Opens name below dir as a folder of the same identity the scan saw; -1 otherwise.
int Reopen(Sys& sys, int dir, const Node& node) {
  const int fd = sys.OpenAt(dir, node.name.c_str(), kChildFlags, 0);
  if (fd < 0) return -1;
  struct stat st;
  if (sys.FStat(fd, &st) != 0 || st.st_dev != node.dev || st.st_ino != node.ino) {
    sys.Close(fd);
    errno = ESTALE;
    return -1;
  }
  return fd;
}

// The node's descriptor in this thread's table, pinned, opened again from the nearest ancestor
// open in it when it was let go or opened in another table; -1 when it cannot be. The root is
// never let go of.
int Pin(Node& node) {
  while (true) {
    if (const int fd = node.Mine().fd.TryPin(); fd >= 0) return fd;
    std::vector<Node*> path{&node};
    Node* held = node.parent.get();
    int dir = -1;
    while (held != nullptr && (dir = held->Mine().fd.TryPin()) < 0) {
      path.push_back(held);
      held = held->parent.get();
    }
    if (held == nullptr) return -1;
    Fd step;
    int fd = -1;
    for (auto it = path.rbegin(); it != path.rend(); ++it) {
      fd = Reopen(*node.sys, dir, **it);
      if (fd < 0) break;
      step = Fd(*node.sys, fd);
      dir = fd;
    }
    held->Mine().fd.Unpin();
    if (fd < 0) return -1;
    if (node.Mine().Install(step.Get())) return step.Release();
  }
}

void Close(Node& node) {
  if (const int fd = node.Mine().fd.TakeUnpinned(); fd >= 0) node.sys->Close(fd);
}

void LetGoOfAncestor(Node& child) {
  if (child.depth <= kWindow) return;
  Node* n = &child;
  for (int i = 0; i < kWindow; ++i) n = n->parent.get();
  if (n->depth % kAnchor != 0) Close(*n);
}

bool PlainName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

}  // namespace

Folder::Folder() = default;
Folder::~Folder() = default;
Folder::Folder(const Folder&) = default;
Folder& Folder::operator=(const Folder&) = default;
Folder::Folder(Folder&&) noexcept = default;
Folder& Folder::operator=(Folder&&) noexcept = default;

Folder Folder::OpenRoot(Sys& sys, const std::string& path) {
  Folder folder;
  Fd fd;
  struct stat st;
  if (OpenPath(sys, path, O_RDONLY | O_DIRECTORY, fd) != 0 || sys.FStat(fd.Get(), &st) != 0)
    return folder;
  auto node = std::make_shared<Node>(sys, fd.Release());
  node->dev = st.st_dev;
  node->ino = st.st_ino;
  node->fills_reads = FillsReads(sys, node->Mine().fd.Peek());
  folder.node_ = std::move(node);
  return folder;
}

Folder Folder::OpenChild(const std::string& name) const {
  Folder child;
  if (!Valid() || !PlainName(name)) return child;
  Node& parent = *node_;
  const int dir = Pin(parent);
  if (dir < 0) return child;
  const int fd = parent.sys->OpenAt(dir, name.c_str(), kChildFlags, 0);
  parent.Mine().fd.Unpin();
  struct stat st;
  if (fd < 0) return child;
  if (parent.sys->FStat(fd, &st) != 0 || st.st_dev != parent.dev) {
    parent.sys->Close(fd);
    return child;
  }
  auto node = std::make_shared<Node>(*parent.sys, fd);
  node->parent = node_;
  node->name = name;
  node->dev = st.st_dev;
  node->ino = st.st_ino;
  node->depth = parent.depth + 1;
  node->fills_reads = parent.fills_reads;  // the same device: the same file system
  LetGoOfAncestor(*node);
  child.node_ = std::move(node);
  return child;
}

bool Folder::Valid() const {
  return node_ != nullptr;
}
dev_t Folder::Device() const {
  return Valid() ? node_->dev : 0;
}
ino_t Folder::Inode() const {
  return Valid() ? node_->ino : 0;
}

bool Folder::List(std::string_view mask, std::vector<std::string>& matches,
                  std::vector<std::string>& subfolders) const {
  return List(Mask(mask), matches, subfolders);
}

bool Folder::List(const Mask& fits, std::vector<std::string>& matches,
                  std::vector<std::string>& subfolders) const {
  if (!Valid()) return false;
  Node& node = *node_;
  Sys& sys = *node.sys;
  const int fd = Pin(node);
  if (fd < 0) return false;
  struct Unpin {
    Node& node;
    ~Unpin() { node.Mine().fd.Unpin(); }
  } unpin{node};
  if (node.listed && sys.Lseek(fd, 0, SEEK_SET) != 0) return false;
  node.listed = true;
  const size_t first_match = matches.size(), first_subfolder = subfolders.size();
  const bool read = ForEachEntry(
      sys, fd,
      [&](const char* name, size_t length, unsigned char type) {
        if (type == DT_UNKNOWN) {
          struct stat st;
          if (sys.FStatAt(fd, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode))
            type = DT_DIR;
        }
        const std::string_view text(name, length);
        if (fits.Matches(text)) matches.emplace_back(text);
        if (type == DT_DIR) subfolders.emplace_back(text);
      },
      node.fills_reads);
  // getdents order differs between file systems; std::string compares bytes as unsigned.
  std::sort(matches.begin() + static_cast<std::ptrdiff_t>(first_match), matches.end());
  std::sort(subfolders.begin() + static_cast<std::ptrdiff_t>(first_subfolder), subfolders.end());
  return read;
}

void Folder::LetGo() const {
  if (Valid() && node_->parent != nullptr) Close(*node_);
}

void Folder::UseOwnTable(int slot) {
  if (slot <= 0 || slot >= kTables) return;
  tls_slot = slot;
  tls_table = next_table.fetch_add(1, std::memory_order_relaxed);
  ReleasedFds().Open(tls_table);
}

void Folder::LeaveOwnTable() {
  CloseReleased();
  ReleasedFds().End(tls_table);
  tls_slot = 0;
  tls_table = 0;
}

bool Folder::OpenInOwnTable(const std::string& path) const {
  if (!Valid()) return false;
  Node& node = *node_;
  Node::Slot& mine = node.Mine();
  // A descriptor a thread of an earlier walk left in the slot was closed with its table.
  if (mine.fd.Peek() >= 0 && mine.table.load(std::memory_order_relaxed) == tls_table) return true;
  Fd fd;
  struct stat st;
  if (OpenPath(*node.sys, path, O_RDONLY | O_DIRECTORY, fd) != 0 ||
      node.sys->FStat(fd.Get(), &st) != 0 || st.st_dev != node.dev || st.st_ino != node.ino)
    return false;
  mine.Set(fd.Release());
  return true;
}

void Folder::CloseReleased() {
  ReleasedFds().CloseMine();
}

namespace {
std::string FolderKey(const std::string& path) {
  const size_t end = path.find_last_not_of('/');
  return end == std::string::npos ? path.substr(0, 1) : path.substr(0, end + 1);
}
}  // namespace

void ScannedFolders::Remember(const std::string& folder_path, dev_t dev, ino_t ino) {
  folders_[FolderKey(folder_path)] = Identity{dev, ino};
}

bool ScannedFolders::Swapped(const std::string& folder_path, dev_t dev, ino_t ino) const {
  const auto it = folders_.find(FolderKey(folder_path));
  return it != folders_.end() && (it->second.dev != dev || it->second.ino != ino);
}

bool ScannedFolders::Known(const std::string& folder_path) const {
  return folders_.count(FolderKey(folder_path)) != 0;
}

}  // namespace kestrel
