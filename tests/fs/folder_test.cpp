#include "fs/folder.h"

#include <fcntl.h>

#include <gtest/gtest.h>

#include "fs/win32_wrapper.h"
#include "support/fault_sys.h"
#include "support/temp_tree.h"

namespace kestrel {
namespace {

using test::FaultSys;
using test::Op;

const std::string kMask = "*del-?\?-?\?-????*";

// Discovery's walk: every match, as a path below the root, sorted.
std::vector<std::string> WalkFrom(Sys& sys, const std::string& root) {
  std::vector<std::string> found;
  const auto walk = [&found](const auto& self, const Folder& folder,
                             const std::string& at) -> void {
    std::vector<std::string> matches, subfolders;
    EXPECT_TRUE(folder.List(kMask, matches, subfolders)) << at;
    for (const std::string& m : matches) found.push_back(at + m);
    for (const std::string& s : subfolders) {
      if (const Folder child = folder.OpenChild(s); child.Valid()) self(self, child, at + s + "/");
    }
  };
  const Folder folder = Folder::OpenRoot(sys, root);
  EXPECT_TRUE(folder.Valid()) << root;
  if (folder.Valid()) walk(walk, folder, "");
  std::sort(found.begin(), found.end());
  return found;
}

class FolderTree : public testing::Test {
 protected:
  void SetUp() override {
    for (const char* d : {"sub", "sub/deep", "del-09-09-2029.d"}) test::MakeDir(dir_ / d);
    for (const char* f : {"a del-01-02-2020.txt", "b.txt", "sub/DEL-03-04-2021",
                          "sub/deep/x del-05-06-2022.doc", "del-07-08-2023 \xff\xfe.bin",
                          "del-07-08-2023\nline 100%.txt", "del-09-09-2029.d/y del-01-01-2001"})
      test::WriteFile(dir_ / f, "x");
    test::MakeLink(dir_ / "sub", dir_ / "link del-01-01-2020");
    test::MakeLink("/nonexistent", dir_ / "dangling del-02-02-2020");
    ASSERT_EQ(mkfifo((dir_ / "del-10-10-2030.fifo").c_str(), 0644), 0);
  }

  test::TempDir dir_;
  const std::vector<std::string> expected_ = {"a del-01-02-2020.txt",
                                              "dangling del-02-02-2020",
                                              "del-07-08-2023\nline 100%.txt",
                                              "del-07-08-2023 \xff\xfe.bin",
                                              "del-09-09-2029.d",
                                              "del-09-09-2029.d/y del-01-01-2001",
                                              "del-10-10-2030.fifo",
                                              "link del-01-01-2020",
                                              "sub/DEL-03-04-2021",
                                              "sub/deep/x del-05-06-2022.doc"};
};

TEST_F(FolderTree, ListsEveryKindOfCandidateAndEntersOnlyRealFolders) {
  FaultSys sys;
  EXPECT_EQ(WalkFrom(sys, dir_.Path()), expected_);
  sys.hide_types = true;  // each entry is then asked for its kind
  EXPECT_EQ(WalkFrom(sys, dir_.Path()), expected_);
  EXPECT_EQ(sys.Calls(Op::kGetDents64), 2 * 4 * 2);  // two walks, four folders, end included

  test::MakeLink(dir_.Path(), dir_ / "root-link");  // the root named by the user may be a link
  EXPECT_EQ(WalkFrom(sys, dir_ / "root-link"), expected_);
  EXPECT_FALSE(Folder::OpenRoot(sys, dir_.Path()).OpenChild("root-link").Valid());
}

TEST_F(FolderTree, SkipsAFolderThatCannotBeOpenedOrRead) {
  FaultSys sys;
  sys.Fail(Op::kOpenAt, EACCES, 0, "sub");
  std::vector<std::string> without_sub(expected_.begin(), expected_.end() - 2);
  EXPECT_EQ(WalkFrom(sys, dir_.Path()), without_sub);
  sys.Fail(Op::kGetDents64, EIO);
  std::vector<std::string> matches, subfolders;
  EXPECT_FALSE(Folder::OpenRoot(sys, dir_.Path()).List(kMask, matches, subfolders));
}

TEST_F(FolderTree, WrappersListOneFolder) {
  Win32Wrapper fs(RealSys());
  std::string folder = dir_.Path(), missing = dir_ / "missing";
  std::vector<std::string> found = fs.FindFiles(folder, "*.txt"), subs = fs.GetSubFolders(folder);
  std::sort(found.begin(), found.end());
  std::sort(subs.begin(), subs.end());
  EXPECT_EQ(folder, dir_.Path() + "/");
  EXPECT_EQ(found, (std::vector<std::string>{folder + "a del-01-02-2020.txt", folder + "b.txt",
                                             folder + "del-07-08-2023\nline 100%.txt"}));
  EXPECT_EQ(subs, (std::vector<std::string>{"del-09-09-2029.d", "sub"}));
  EXPECT_EQ(fs.FindFiles(missing, "*"), std::vector<std::string>{});
  EXPECT_EQ(missing, dir_ / "missing/");
}

TEST(Folder, DoesNotEnterAnotherFileSystem) {
  if (test::DeviceOf("/dev") == test::DeviceOf("/dev/shm")) GTEST_SKIP() << "no mount below /dev";
  EXPECT_FALSE(Folder::OpenRoot(RealSys(), "/dev").OpenChild("shm").Valid());
  std::string folder = "/dev";
  const std::vector<std::string> subs = Win32Wrapper(RealSys()).GetSubFolders(folder);
  EXPECT_EQ(std::count(subs.begin(), subs.end(), "shm"), 0);
}

// A chain of 3,000 folders, with a side folder near the top opened only after the walk has
// been to the bottom.
TEST(Folder, WalksAnyDepthWithFewDescriptors) {
  test::TempDir dir(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "");  // quick to clear
  int fd = open(dir.Path().c_str(), O_RDONLY | O_DIRECTORY);
  for (int level = 1; level <= 3000; ++level) {
    ASSERT_TRUE(mkdirat(fd, "d", 0755) == 0 && (level != 5 || mkdirat(fd, "side", 0755) == 0));
    const int next = openat(fd, "d", O_RDONLY | O_DIRECTORY);
    close(fd);
    fd = next;
  }
  close(openat(fd, "bottom del-01-01-2020", O_CREAT | O_WRONLY, 0644));
  close(fd);
  test::WriteFile(dir / "d/d/d/d/side/del-01-01-2020", "");

  FaultSys sys;
  std::vector<Folder> chain;
  chain.push_back(Folder::OpenRoot(sys, dir.Path()));
  while (chain.size() <= 3000) chain.push_back(chain.back().OpenChild("d"));
  std::vector<std::string> matches, subfolders;
  EXPECT_TRUE(chain.back().List(kMask, matches, subfolders));
  EXPECT_EQ(matches, std::vector<std::string>{"bottom del-01-01-2020"});
  EXPECT_LT(sys.MaxOpenFds(), 300);
  matches.clear();
  EXPECT_TRUE(chain[4].OpenChild("side").List(kMask, matches, subfolders));
  EXPECT_EQ(matches, std::vector<std::string>{"del-01-01-2020"});

  // A folder let go of is found again by name only through the folders the walk came by:
  // one of them swapped for a link stops it.
  ASSERT_TRUE(chain[8].OpenChild("d").Valid());
  const std::string sixth = dir / "d/d/d/d/d/d";
  ASSERT_EQ(rename(sixth.c_str(), (sixth + "-moved").c_str()), 0);
  test::MakeLink("d-moved", sixth);
  EXPECT_FALSE(chain[7].OpenChild("d").Valid());
}

}  // namespace
}  // namespace kestrel
