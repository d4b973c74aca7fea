#include "fs/folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include <gtest/gtest.h>

#include "fs/win32_wrapper.h"
#include "support/fault_sys.h"
#include "support/temp_tree.h"

namespace kestrel {
namespace {

using test::FaultSys;
using test::Op;
using test::TempDir;

const std::string kMask = "*del-?\?-?\?-????*";

// Discovery's walk: every match, as a path below the root, depth first.
void Walk(const Folder& folder, const std::string& prefix, std::vector<std::string>& found) {
  std::vector<std::string> matches, subfolders;
  EXPECT_TRUE(folder.List(kMask, matches, subfolders)) << prefix;
  for (const std::string& m : matches) found.push_back(prefix + m);
  for (const std::string& s : subfolders) {
    const Folder child = folder.OpenChild(s);
    if (child.Valid()) Walk(child, prefix + s + "/", found);
  }
}

std::vector<std::string> WalkFrom(Sys& sys, const std::string& root) {
  std::vector<std::string> found;
  const Folder folder = Folder::OpenRoot(sys, root);
  EXPECT_TRUE(folder.Valid()) << root;
  if (folder.Valid()) Walk(folder, "", found);
  std::sort(found.begin(), found.end());
  return found;
}

class FolderTree : public testing::Test {
 protected:
  void SetUp() override {
    test::WriteFile(dir / "a del-01-02-2020.txt", "a");
    test::WriteFile(dir / "b.txt", "b");
    test::MakeDir(dir / "sub");
    test::WriteFile(dir / "sub/DEL-03-04-2021", "c");
    test::MakeDir(dir / "sub/deep");
    test::WriteFile(dir / "sub/deep/x del-05-06-2022.doc", "d");
    test::MakeLink(dir / "sub", dir / "link del-01-01-2020");
    test::MakeLink("/nonexistent", dir / "dangling del-02-02-2020");
    test::WriteFile(dir / "del-07-08-2023 \xff\xfe.bin", "e");
    test::WriteFile(dir / "del-07-08-2023\nline 100%.txt", "f");
    test::MakeDir(dir / "del-09-09-2029.d");
    test::WriteFile(dir / "del-09-09-2029.d/y del-01-01-2001", "g");
    ASSERT_EQ(mkfifo((dir / "del-10-10-2030.fifo").c_str(), 0644), 0);
  }

  const std::vector<std::string> expected_ = {
      "a del-01-02-2020.txt",
      "dangling del-02-02-2020",
      "del-07-08-2023\nline 100%.txt",
      "del-07-08-2023 \xff\xfe.bin",
      "del-09-09-2029.d",
      "del-09-09-2029.d/y del-01-01-2001",
      "del-10-10-2030.fifo",
      "link del-01-01-2020",
      "sub/DEL-03-04-2021",
      "sub/deep/x del-05-06-2022.doc",
  };
  TempDir dir;
};

TEST_F(FolderTree, ListsEveryKindOfCandidateAndEntersOnlyRealFolders) {
  FaultSys sys;
  EXPECT_EQ(WalkFrom(sys, dir.Path()), expected_);
  // Without d_type each entry is asked for its kind instead.
  sys.hide_types = true;
  EXPECT_EQ(WalkFrom(sys, dir.Path()), expected_);
  EXPECT_EQ(sys.Calls(Op::kGetDents64), 2 * 4 * 2);  // two walks, four folders, end included
}

TEST_F(FolderTree, OpensARootThatIsALink) {
  test::MakeLink(dir.Path(), dir / "root-link");
  EXPECT_EQ(WalkFrom(RealSys(), dir / "root-link"), expected_);
  EXPECT_FALSE(Folder::OpenRoot(RealSys(), dir / "root-link").OpenChild("root-link").Valid());
}

TEST_F(FolderTree, SkipsAFolderThatCannotBeOpenedOrRead) {
  FaultSys sys;
  sys.Fail(Op::kOpenAt, EACCES, 0, "sub");
  std::vector<std::string> without_sub = expected_;
  std::erase_if(without_sub, [](const std::string& p) { return p.rfind("sub/", 0) == 0; });
  EXPECT_EQ(WalkFrom(sys, dir.Path()), without_sub);

  FaultSys failing;
  failing.Fail(Op::kGetDents64, EIO);
  std::vector<std::string> matches, subfolders;
  EXPECT_FALSE(Folder::OpenRoot(failing, dir.Path()).List(kMask, matches, subfolders));
  EXPECT_TRUE(matches.empty());
}

TEST_F(FolderTree, WrappersListOneFolder) {
  Win32Wrapper fs(RealSys());
  std::string folder = dir.Path();
  std::vector<std::string> found = fs.FindFiles(folder, "*.txt");
  std::sort(found.begin(), found.end());
  EXPECT_EQ(folder, dir.Path() + "/");
  EXPECT_EQ(found, (std::vector<std::string>{folder + "a del-01-02-2020.txt", folder + "b.txt",
                                             folder + "del-07-08-2023\nline 100%.txt"}));
  std::vector<std::string> subfolders = fs.GetSubFolders(folder);
  std::sort(subfolders.begin(), subfolders.end());
  EXPECT_EQ(subfolders, (std::vector<std::string>{"del-09-09-2029.d", "sub"}));
  std::string missing = dir / "missing";
  EXPECT_TRUE(fs.FindFiles(missing, "*").empty());
  EXPECT_EQ(missing, dir / "missing/");
}

TEST(Folder, DoesNotEnterAnotherFileSystem) {
  if (test::DeviceOf("/dev") == test::DeviceOf("/dev/shm")) {
    GTEST_SKIP() << "/dev/shm is not a mount of its own";
  }
  const Folder dev = Folder::OpenRoot(RealSys(), "/dev");
  ASSERT_TRUE(dev.Valid());
  EXPECT_FALSE(dev.OpenChild("shm").Valid());
  std::string folder = "/dev";
  const std::vector<std::string> subfolders = Win32Wrapper(RealSys()).GetSubFolders(folder);
  EXPECT_EQ(std::count(subfolders.begin(), subfolders.end(), "shm"), 0);
}

// A chain of 3,000 folders, with a side folder near the top that is opened only after the
// walk has been to the bottom.
TEST(Folder, WalksAnyDepthWithFewDescriptors) {
  constexpr int kDepth = 3000;
  TempDir dir;
  int fd = open(dir.Path().c_str(), O_RDONLY | O_DIRECTORY);
  for (int level = 1; level <= kDepth; ++level) {
    ASSERT_EQ(mkdirat(fd, "d", 0755), 0);
    if (level == 5) {
      ASSERT_EQ(mkdirat(fd, "side", 0755), 0);
    }
    const int next = openat(fd, "d", O_RDONLY | O_DIRECTORY);
    close(fd);
    fd = next;
  }
  close(open((dir / "d/d/d/d/side/del-01-01-2020").c_str(), O_CREAT | O_WRONLY, 0644));
  close(openat(fd, "bottom del-01-01-2020", O_CREAT | O_WRONLY, 0644));
  close(fd);

  FaultSys sys;
  std::vector<Folder> chain;
  chain.push_back(Folder::OpenRoot(sys, dir.Path()));
  for (int level = 1; level <= kDepth; ++level) {
    chain.push_back(chain.back().OpenChild("d"));
    ASSERT_TRUE(chain.back().Valid()) << level;
  }
  std::vector<std::string> matches, subfolders;
  EXPECT_TRUE(chain.back().List(kMask, matches, subfolders));
  EXPECT_EQ(matches, std::vector<std::string>{"bottom del-01-01-2020"});
  EXPECT_LT(sys.MaxOpenFds(), 300);

  const Folder side = chain[4].OpenChild("side");
  ASSERT_TRUE(side.Valid());
  matches.clear();
  EXPECT_TRUE(side.List(kMask, matches, subfolders));
  EXPECT_EQ(matches, std::vector<std::string>{"del-01-01-2020"});

  // A folder let go of is found again by name only through the folders the walk came by:
  // one of them swapped for a link stops it.
  ASSERT_TRUE(chain[8].OpenChild("d").Valid());
  const std::string sixth = dir / "d/d/d/d/d/d";
  ASSERT_EQ(rename(sixth.c_str(), (sixth + "-moved").c_str()), 0);
  ASSERT_EQ(symlink("d-moved", sixth.c_str()), 0);
  EXPECT_FALSE(chain[7].OpenChild("d").Valid());
}

TEST(ScannedFolders, KnowsFoldersByPathWithOrWithoutSeparator) {
  ScannedFolders scanned;
  scanned.Remember("/a/b/", 1, 2);
  EXPECT_TRUE(scanned.Known("/a/b"));
  EXPECT_TRUE(scanned.Known("/a/b/"));
  EXPECT_FALSE(scanned.Known("/a"));
  EXPECT_FALSE(scanned.Swapped("/a/b", 1, 2));
  EXPECT_TRUE(scanned.Swapped("/a/b", 1, 3));
  EXPECT_TRUE(scanned.Swapped("/a/b", 4, 2));
  EXPECT_FALSE(scanned.Swapped("/elsewhere", 4, 2));
}

}  // namespace
}  // namespace kestrel
