#include "fs/folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <mutex>
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

// Guards the descriptors and pins of every node: folders are opened on several threads.
std::mutex& FdLock() {
  static std::mutex lock;
  return lock;
}

struct Node {
  Sys* sys = nullptr;
  std::shared_ptr<Node> parent;
  std::string name;
  dev_t dev = 0;
  ino_t ino = 0;
  int depth = 0;
  int fd = -1;
  int pins = 0;  // children being opened from fd on other threads: it stays open meanwhile
  bool listed = false;

  ~Node() {
    if (fd >= 0) sys->Close(fd);
    // Unlink the ancestors one by one: a recursive release could exhaust the stack.
    std::shared_ptr<Node> up = std::move(parent);
    while (up && up.use_count() == 1) up = std::move(up->parent);
  }
};

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

// The node's descriptor, opened again from the nearest open ancestor when it was let go.
int Acquire(Node& node) {
  if (node.fd >= 0) return node.fd;
  std::vector<Node*> path;
  Node* held = &node;
  for (; held->fd < 0; held = held->parent.get()) path.push_back(held);
  Fd step;
  int dir = held->fd;
  for (auto it = path.rbegin(); it != path.rend(); ++it) {
    const int fd = Reopen(*node.sys, dir, **it);
    if (fd < 0) return -1;
    if (*it == &node) {
      node.fd = fd;
    } else {
      step = Fd(*node.sys, fd);
      dir = fd;
    }
  }
  return node.fd;
}

void LetGoOfAncestor(Node& child) {
  if (child.depth <= kWindow) return;
  Node* n = &child;
  for (int i = 0; i < kWindow; ++i) n = n->parent.get();
  if (n->depth % kAnchor != 0 && n->fd >= 0 && n->pins == 0) {
    n->sys->Close(n->fd);
    n->fd = -1;
  }
}

bool PlainName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

}  // namespace

struct Folder::State {
  std::shared_ptr<Node> node;
};

Folder::Folder() = default;
Folder::~Folder() = default;
Folder::Folder(Folder&&) noexcept = default;
Folder& Folder::operator=(Folder&&) noexcept = default;

Folder Folder::OpenRoot(Sys& sys, const std::string& path) {
  Folder folder;
  Fd fd;
  struct stat st;
  if (OpenPath(sys, path, O_RDONLY | O_DIRECTORY, fd) != 0 || sys.FStat(fd.Get(), &st) != 0)
    return folder;
  auto node = std::make_shared<Node>();
  node->sys = &sys;
  node->dev = st.st_dev;
  node->ino = st.st_ino;
  node->fd = fd.Release();
  folder.state_ = std::make_unique<State>(State{std::move(node)});
  return folder;
}

Folder Folder::OpenChild(const std::string& name) const {
  Folder child;
  if (!Valid() || !PlainName(name)) return child;
  Node& parent = *state_->node;
  int dir;
  {
    const std::lock_guard hold(FdLock());
    dir = Acquire(parent);
    if (dir < 0) return child;
    ++parent.pins;
  }
  const int fd = parent.sys->OpenAt(dir, name.c_str(), kChildFlags, 0);
  struct stat st;
  const bool same_fs = fd >= 0 && parent.sys->FStat(fd, &st) == 0 && st.st_dev == parent.dev;
  const std::lock_guard hold(FdLock());
  --parent.pins;
  if (!same_fs) {
    if (fd >= 0) parent.sys->Close(fd);
    return child;
  }
  auto node = std::make_shared<Node>();
  node->sys = parent.sys;
  node->parent = state_->node;
  node->name = name;
  node->dev = st.st_dev;
  node->ino = st.st_ino;
  node->depth = parent.depth + 1;
  node->fd = fd;
  LetGoOfAncestor(*node);
  child.state_ = std::make_unique<State>(State{std::move(node)});
  return child;
}

bool Folder::Valid() const {
  return state_ != nullptr;
}
dev_t Folder::Device() const {
  return Valid() ? state_->node->dev : 0;
}
ino_t Folder::Inode() const {
  return Valid() ? state_->node->ino : 0;
}

bool Folder::List(std::string_view mask, std::vector<std::string>& matches,
                  std::vector<std::string>& subfolders) const {
  if (!Valid()) return false;
  Node& node = *state_->node;
  Sys& sys = *node.sys;
  int fd;
  {
    const std::lock_guard hold(FdLock());
    fd = Acquire(node);
    if (fd < 0) return false;
    ++node.pins;
  }
  struct Unpin {
    Node& node;
    ~Unpin() {
      const std::lock_guard hold(FdLock());
      --node.pins;
    }
  } unpin{node};
  if (node.listed && sys.Lseek(fd, 0, SEEK_SET) != 0) return false;
  node.listed = true;
  const size_t first_match = matches.size(), first_subfolder = subfolders.size();
  const Mask fits(mask);
  const bool read = ForEachEntry(sys, fd, [&](const char* name, size_t length, unsigned char type) {
    if (type == DT_UNKNOWN) {
      struct stat st;
      if (sys.FStatAt(fd, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode))
        type = DT_DIR;
    }
    const std::string_view text(name, length);
    if (fits.Matches(text)) matches.emplace_back(text);
    if (type == DT_DIR) subfolders.emplace_back(text);
  });
  // getdents order differs between file systems; std::string compares bytes as unsigned.
  std::sort(matches.begin() + static_cast<std::ptrdiff_t>(first_match), matches.end());
  std::sort(subfolders.begin() + static_cast<std::ptrdiff_t>(first_subfolder), subfolders.end());
  return read;
}

void Folder::LetGo() const {
  if (!Valid()) return;
  Node& node = *state_->node;
  const std::lock_guard hold(FdLock());
  if (node.parent == nullptr || node.fd < 0 || node.pins != 0) return;
  node.sys->Close(node.fd);
  node.fd = -1;
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
