#include "fs/list_ahead.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <functional>
#include <random>

#include <gtest/gtest.h>

#include "fs/sys.h"
#include "support/temp_tree.h"

namespace kestrel {
namespace {

namespace fs = std::filesystem;

// Folders up to five levels deep, some named to be cut short or excluded, each with a few files.
void Grow(std::mt19937& rng, const fs::path& dir, int depth) {
  static const char* const kNames[] = {"a", "B", "cut", "excluded", "d-e", "d", "z~", "\xc3\xa9"};
  test::WriteFile(dir / ("f" + std::to_string(rng() % 3) + ".del"), "");
  if (depth == 5) return;
  for (unsigned n = 2 + rng() % 4; n > 0; --n) {
    const fs::path sub = dir / (std::string(kNames[rng() % 8]) + std::to_string(rng() % 4));
    if (fs::create_directory(sub)) Grow(rng, sub, depth + 1);
  }
}

// Byte order of names, a folder before what it holds: the order of a walk on one thread.
bool WalkOrder(const std::string& a, const std::string& b) {
  const auto key = [](char c) { return c == '/' ? 0 : static_cast<unsigned char>(c); };
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [&](char x, char y) { return key(x) < key(y); });
}

// Each folder handed over, with its depth and matches; the subtrees of folders named "cut*"
// are left out, and the walk stops after `most` folders.
std::string Walked(
    int threads, size_t window, const fs::path& root, ino_t skipped, size_t most = SIZE_MAX,
    const std::function<void()>& opened = [] {}) {
  ListAhead walk(threads,
                 {"*.del", [](const std::string& p) { return p.find("/excluded") == p.npos; }},
                 window);
  const Folder top = Folder::OpenRoot(RealSys(), root);
  std::vector<std::string> matches, subfolders;
  EXPECT_TRUE(top.List("*.del", matches, subfolders));
  opened();
  std::string text;
  size_t handed = 0;
  walk.Walk(
      top, root, subfolders, {skipped},
      [&](Listing& l) {
        text += l.path + " " + std::to_string(l.depth);
        for (const std::string& m : l.matches) text += " " + m;
        text += "\n";
        ++handed;
        return fs::path(l.path).filename().string().rfind("cut", 0) != 0;
      },
      [&] { return handed >= most; });
  return text;
}

size_t OpenDescriptors() {
  const auto fds = fs::directory_iterator("/proc/self/fd");
  return static_cast<size_t>(std::distance(fs::begin(fds), fs::end(fds)));
}

// Whatever the threads and however little they may list ahead, the walk hands over what one
// thread walking alone would, in its order: a random tree and a chain deeper than the folders
// a walk keeps open, with folders excluded, cut short, skipped, and a stop part of the way.
// What the threads opened, each in a descriptor table of its own or in the shared one (with
// more threads than tables), is closed when the walk ends.
TEST(ListingThreads, HandOverTheWalkOfOneThreadWhateverTheyCutSkipOrStop) {
  const size_t descriptors = OpenDescriptors();
  test::TempDir dir;
  std::mt19937 rng(19);
  for (const char* top : {"p", "q", "r", "s"}) {
    fs::create_directory(dir / top);
    Grow(rng, dir / top, 1);
  }
  test::MakeChain(dir / "q", "deep", 300, "x.del", "");
  // Names that fill the buffer a folder is read into many times over, all of them read.
  fs::create_directory(dir / "s/wide");
  for (int i = 0; i < 2000; ++i)
    test::WriteFile(dir / "s/wide/" + std::string(150, 'w') + std::to_string(i) + ".del", "");
  const ino_t skipped = test::LStat(dir / "r").st_ino;

  std::vector<std::pair<std::string, int>> folders;
  for (auto it = fs::recursive_directory_iterator(dir.Path()); it != decltype(it)(); ++it) {
    const std::string path = it->path();
    if (!it->is_directory() || it->is_symlink()) continue;
    if (path.find("/excluded") != path.npos || test::LStat(path).st_ino == skipped) {
      it.disable_recursion_pending();
      continue;
    }
    folders.emplace_back(path, it.depth() + 1);
    if (it->path().filename().string().rfind("cut", 0) == 0) it.disable_recursion_pending();
  }
  std::sort(folders.begin(), folders.end(),
            [](const auto& a, const auto& b) { return WalkOrder(a.first, b.first); });
  std::vector<std::string> expected;
  for (const auto& [path, depth] : folders) expected.push_back(path + " " + std::to_string(depth));
  std::string one = Walked(1, 4096, dir.Path(), skipped);
  std::vector<std::string> lines;
  for (size_t at = 0, end; (end = one.find('\n', at)) != one.npos; at = end + 1) {
    const std::string line = one.substr(at, end - at);
    lines.push_back(line.substr(0, line.find(' ', line.find(' ') + 1)));
  }
  ASSERT_GT(expected.size(), 500u);
  EXPECT_EQ(lines, expected);
  const size_t wide = one.find(dir / "s/wide 2 ");
  ASSERT_NE(wide, one.npos);
  EXPECT_EQ(std::count(one.begin() + wide, one.begin() + one.find('\n', wide), ' '), 2001);

  for (int round = 0; round < 10; ++round) {
    for (const int threads : {2, 5}) {
      for (const size_t window : {size_t{4}, size_t{4096}}) {
        EXPECT_EQ(Walked(threads, window, dir.Path(), skipped), one) << threads << " " << window;
        const std::string part = Walked(threads, window, dir.Path(), skipped, 150);
        EXPECT_EQ(part, one.substr(0, part.size())) << threads << " " << window;
        EXPECT_EQ(std::count(part.begin(), part.end(), '\n'), 150);
      }
    }
  }
  EXPECT_EQ(OpenDescriptors(), descriptors);
}

// A listing thread opens each walk's root again, by its path, in a descriptor table of its own,
// and only as the folder the walk opened: with another folder put at the path since, the walk
// lists what it opened all the same.
TEST(ListingThreads, ListOnlyTheRootTheWalkOpened) {
  test::TempDir dir;
  std::mt19937 rng(7);
  const fs::path root = dir / "root";
  for (const char* top : {"p", "q", "r"}) {
    fs::create_directories(root / top);
    Grow(rng, root / top, 2);
  }
  const std::string one = Walked(1, 4096, root, 0);
  ASSERT_GT(std::count(one.begin(), one.end(), '\n'), 50);
  for (const int threads : {2, 4}) {
    const auto swap = [&] {
      fs::rename(root, dir / "opened");
      fs::create_directories(root / "p/other");
    };
    EXPECT_EQ(Walked(threads, 4096, root, 0, SIZE_MAX, swap), one) << threads;
    fs::remove_all(root);
    fs::rename(dir / "opened", root);
  }
}

// A listing thread's own descriptor table starts as a copy of the process's, which would keep
// every file open then (and any lock on it) open as long as the thread lasts: it keeps none.
TEST(ListingThreads, HoldNoFileTheProcessHadOpen) {
  test::TempDir dir;
  std::mt19937 rng(3);
  fs::create_directory(dir / "root");
  Grow(rng, dir / "root", 0);
  const std::string lock = dir / "lock";
  const int held = ::open(lock.c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0600);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);
  ListAhead walk(2, {"*.del", [](const std::string&) { return true; }});
  const Folder root = Folder::OpenRoot(RealSys(), dir / "root");
  std::vector<std::string> matches, subfolders;
  ASSERT_TRUE(root.List("*.del", matches, subfolders));
  size_t listed = 0;
  walk.Walk(
      root, dir / "root", subfolders, {}, [&](Listing&) { return ++listed, true; },
      [] { return false; });
  ASSERT_GT(listed, 100u);
  ::close(held);
  const int again = ::open(lock.c_str(), O_RDWR | O_CLOEXEC);
  EXPECT_EQ(::flock(again, LOCK_EX | LOCK_NB), 0);
  ::close(again);
}

}  // namespace
}  // namespace kestrel
