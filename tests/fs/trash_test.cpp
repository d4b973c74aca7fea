#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include <gtest/gtest.h>

#include "fs/win32_wrapper.h"
#include "platform/clock.h"
#include "platform/date_time.h"
#include "reports/run_records.h"
#include "support/fault_sys.h"
#include "support/temp_tree.h"

namespace kestrel {
namespace {

using test::EnvVar;
using test::FaultSys;
using test::Op;
using test::TempDir;

std::string LocalStamp(std::time_t t, char separator) {
  const DateTime::Civil c = DateTime::FromTimeT(t).ToCivil();
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d%c%02d:%02d:%02d", c.year, c.month, c.day,
                separator, c.hour, c.minute, c.second);
  return text;
}

// Checks a .trashinfo; the deletion date may be either second the move ran in.
void ExpectInfo(const std::string& info, const std::string& path, std::time_t before) {
  const std::string head = "[Trash Info]\nPath=" + path + "\nDeletionDate=";
  const std::string text = test::ReadFile(info);
  EXPECT_TRUE(text == head + LocalStamp(before, 'T') + "\n" ||
              text == head + LocalStamp(before + 1, 'T') + "\n")
      << text;
}

class TrashTest : public testing::Test {
 protected:
  std::vector<std::string> Trash(Sys& sys, const std::string& from, bool moved = true) {
    SystemClock clock;
    WarningReport warnings(clock);
    EXPECT_EQ(Win32Wrapper(sys, &warnings).MoveFile(from), moved) << from;
    return warnings.Warnings();
  }

  TempDir home_, dir_;
  EnvVar home_var_{"HOME", home_.Path()};
  EnvVar data_var_{"XDG_DATA_HOME", home_ / "data"};
  const std::string trash_ = home_ / "data/Trash";
};

TEST_F(TrashTest, HomeTrashKeepsWhereEachEntryCameFrom) {
  const std::string name = "a b%\xff\n.txt";
  test::MakeDir(dir_ / "again");
  test::WriteFile(dir_ / name, "first");
  test::WriteFile(dir_ / "again/" + name, "second");
  test::MakeDir(dir_ / "folder");
  test::WriteFile(dir_ / "folder/inner", "inner");
  const std::time_t before = std::time(nullptr);
  for (const std::string& from : {dir_ / name, dir_ / "again/" + name, dir_ / "folder"}) {
    EXPECT_EQ(Trash(RealSys(), from), std::vector<std::string>{});
  }
  EXPECT_EQ(test::Names(trash_ + "/files"),
            (std::vector<std::string>{"a b%\xff\n (2).txt", name, "folder"}));
  EXPECT_EQ(test::ReadFile(trash_ + "/files/" + name), "first");
  EXPECT_EQ(test::ReadFile(trash_ + "/files/a b%\xff\n (2).txt"), "second");
  EXPECT_EQ(test::ReadFile(trash_ + "/files/folder/inner"), "inner");
  ExpectInfo(trash_ + "/info/" + name + ".trashinfo", dir_.Path() + "/a%20b%25%FF%0A.txt", before);
  ExpectInfo(trash_ + "/info/a b%\xff\n (2).txt.trashinfo",
             dir_.Path() + "/again/a%20b%25%FF%0A.txt", before);
  struct stat st;
  ASSERT_EQ(stat(trash_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0700u);
}

TEST_F(TrashTest, AFailedMoveLeavesNoInfoBehind) {
  test::WriteFile(dir_ / "x", "x");
  FaultSys sys;
  sys.Fail(Op::kRenameAt2, EACCES);
  EXPECT_EQ(Trash(sys, dir_ / "x", false),
            std::vector<std::string>{"File access is denied: " + dir_ / "x"});
  EXPECT_EQ(test::Names(trash_ + "/info"), std::vector<std::string>{});
  EXPECT_EQ(test::ReadFile(dir_ / "x"), "x");
}

std::string Shell(const std::string& command) {
  FILE* pipe = popen(command.c_str(), "r");
  std::string out;
  char buf[4096];
  for (size_t n; (n = fread(buf, 1, sizeof buf, pipe)) > 0;) out.append(buf, n);
  pclose(pipe);
  return out;
}

TEST_F(TrashTest, TrashCliListsAndRestores) {
  if (access("/usr/bin/trash-list", X_OK) != 0) GTEST_SKIP() << "trash-cli is not installed";
  const std::string path = dir_ / "report del-01-01-2020.txt";
  test::WriteFile(path, "report");
  const std::time_t before = std::time(nullptr);
  ASSERT_EQ(Trash(RealSys(), path), std::vector<std::string>{});
  const std::string listed = Shell("trash-list 2>/dev/null | grep -F '" + dir_.Path() + "'");
  EXPECT_TRUE(listed == LocalStamp(before, ' ') + " " + path + "\n" ||
              listed == LocalStamp(before + 1, ' ') + " " + path + "\n")
      << listed;
  // trash-restore asks which entry to restore: the first.
  const std::string asked = Shell("echo 0 | trash-restore '" + dir_.Path() + "'");
  EXPECT_EQ(asked.find("   0 "), 0u) << asked;
  EXPECT_EQ(test::ReadFile(path), "report");
  EXPECT_EQ(test::Names(trash_ + "/files"), std::vector<std::string>{});
  EXPECT_EQ(test::Names(trash_ + "/info"), std::vector<std::string>{});
}

// A file on another file system goes to that file system's top folder; here a folder on
// /dev/shm stands in for it through a mount table that names it.
class TopTrashTest : public TrashTest {
 protected:
  void SetUp() override {
    if (test::DeviceOf(top_.Path()) == test::DeviceOf(home_.Path())) {
      GTEST_SKIP() << "one file system only";
    }
    const dev_t dev = test::DeviceOf(top_.Path());
    test::WriteFile(home_ / "mountinfo", "30 1 " + std::to_string(major(dev)) + ":" +
                                             std::to_string(minor(dev)) + " / " + top_.Path() +
                                             " rw - tmpfs tmpfs rw\n");
    sys_.Redirect("/proc/self/mountinfo", home_ / "mountinfo");
    test::MakeDir(top_ / "sub");
    test::WriteFile(top_ / "sub/f", "f");
  }

  TempDir top_{"/dev/shm"};
  FaultSys sys_;
  const std::string user_ = std::to_string(getuid());
};

TEST_F(TopTrashTest, UsesTheUsersOwnTopFolderTrash) {
  const std::time_t before = std::time(nullptr);
  EXPECT_EQ(Trash(sys_, top_ / "sub/f"), std::vector<std::string>{});
  const std::string trash = top_ / ".Trash-" + user_;
  EXPECT_EQ(test::ReadFile(trash + "/files/f"), "f");
  ExpectInfo(trash + "/info/f.trashinfo", "sub/f", before);
  struct stat st;
  ASSERT_EQ(stat(trash.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0700u);
  EXPECT_FALSE(test::Exists(trash_));
}

TEST_F(TopTrashTest, PrefersASharedStickyTrash) {
  test::MakeDir(top_ / ".Trash", 01777);
  ASSERT_EQ(chmod((top_ / ".Trash").c_str(), 01777), 0);
  EXPECT_EQ(Trash(sys_, top_ / "sub/f"), std::vector<std::string>{});
  EXPECT_EQ(test::ReadFile(top_ / ".Trash/" + user_ + "/files/f"), "f");
  EXPECT_FALSE(test::Exists(top_ / ".Trash-" + user_));
}

TEST_F(TopTrashTest, NeverUsesLinksOrAnotherFileSystem) {
  test::MakeDir(top_ / "elsewhere", 01777);
  ASSERT_EQ(chmod((top_ / "elsewhere").c_str(), 01777), 0);
  test::MakeLink("elsewhere", top_ / ".Trash");
  test::MakeLink("elsewhere", top_ / (".Trash-" + user_));
  EXPECT_EQ(
      Trash(sys_, top_ / "sub/f", false),
      std::vector<std::string>{"File system error (18) while moving file: " + top_ / "sub/f"});
  EXPECT_EQ(test::ReadFile(top_ / "sub/f"), "f");
  EXPECT_EQ(test::Names(top_ / "elsewhere"), std::vector<std::string>{});
  EXPECT_FALSE(test::Exists(trash_));
}

}  // namespace
}  // namespace kestrel
