#include <sys/sysmacros.h>

#include <cstdio>
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

using Lines = std::vector<std::string>;

std::string LocalStamp(std::time_t t, char separator) {
  const DateTime::Civil c = DateTime::FromTimeT(t).ToCivil();
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d%c%02d:%02d:%02d", c.year, c.month, c.day,
                separator, c.hour, c.minute, c.second);
  return text;
}

// Returns true iff text is head + the local time of either second from before on + tail.
bool Stamped(const std::string& text, const std::string& head, std::time_t before, char sep,
             const std::string& tail) {
  return text == head + LocalStamp(before, sep) + tail ||
         text == head + LocalStamp(before + 1, sep) + tail;
}

class TrashTest : public testing::Test {
 protected:
  Lines Trash(Sys& sys, const std::string& from, bool moved = true) {
    SystemClock clock;
    WarningReport warnings(clock);
    EXPECT_EQ(Win32Wrapper(sys, &warnings).MoveFile(from), moved) << from;
    return warnings.Warnings();
  }
  static std::string Info(const std::string& path) {
    return "[Trash Info]\nPath=" + path + "\nDeletionDate=";
  }

  test::TempDir home_, dir_;
  test::EnvVar home_var_{"HOME", home_.Path()};
  test::EnvVar data_var_{"XDG_DATA_HOME", home_ / "data"};
  const std::string trash_ = home_ / "data/Trash";
  const std::time_t before_ = std::time(nullptr);
};

TEST_F(TrashTest, HomeTrashKeepsWhereEachEntryCameFrom) {
  const std::string name = "a b%\xff\n.txt", second = "a b%\xff\n (2).txt";
  test::MakeDir(dir_ / "again");
  test::MakeDir(dir_ / "folder");
  test::WriteFile(dir_ / name, "first");
  test::WriteFile(dir_ / "again/" + name, "second");
  test::WriteFile(dir_ / "folder/inner", "inner");
  for (const std::string& from : {dir_ / name, dir_ / "again/" + name, dir_ / "folder"}) {
    EXPECT_EQ(Trash(RealSys(), from), Lines{});
  }
  EXPECT_EQ(test::Names(trash_ + "/files"), (Lines{second, name, "folder"}));
  EXPECT_EQ(test::ReadFile(trash_ + "/files/" + name) +
                test::ReadFile(trash_ + "/files/" + second) +
                test::ReadFile(trash_ + "/files/folder/inner"),
            "firstsecondinner");
  EXPECT_TRUE(Stamped(test::ReadFile(trash_ + "/info/" + second + ".trashinfo"),
                      Info(dir_.Path() + "/again/a%20b%25%FF%0A.txt"), before_, 'T', "\n"));
  EXPECT_EQ(test::LStat(trash_).st_mode & 07777, 0700u);

  test::WriteFile(dir_ / "x", "x");  // a failed move takes its .trashinfo back
  test::FaultSys sys;
  sys.Fail(test::Op::kRenameAt2, EACCES);
  EXPECT_EQ(Trash(sys, dir_ / "x", false), Lines{"File access is denied: " + dir_ / "x"});
  EXPECT_EQ(test::Names(trash_ + "/info").size(), 3u);
  EXPECT_EQ(test::ReadFile(dir_ / "x"), "x");
}

std::string Shell(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  char buf[4096];
  for (size_t n; (n = fread(buf, 1, sizeof buf, pipe)) > 0;) out.append(buf, n);
  pclose(pipe);
  return out;
}

TEST_F(TrashTest, TrashCliListsAndRestores) {
  if (access("/usr/bin/trash-list", X_OK) != 0) GTEST_SKIP() << "trash-cli is not installed";
  const std::string path = dir_ / "report del-01-01-2020.txt";
  test::WriteFile(path, "report");
  ASSERT_EQ(Trash(RealSys(), path), Lines{});
  EXPECT_TRUE(Stamped(Shell("trash-list 2>/dev/null | grep -F '" + dir_.Path() + "'"), "", before_,
                      ' ', " " + path + "\n"));
  // trash-restore asks which entry to restore: the first.
  const std::string asked = Shell("echo 0 | trash-restore '" + dir_.Path() + "'");
  EXPECT_EQ(asked.find("   0 "), 0u) << asked;
  EXPECT_EQ(test::ReadFile(path), "report");
  EXPECT_EQ(test::Names(trash_ + "/files"), Lines{});
  EXPECT_EQ(test::Names(trash_ + "/info"), Lines{});
}

// A file on another file system goes to that file system's top folder; a folder on /dev/shm
// stands in for one through a mount table that names it.
class TopTrashTest : public TrashTest {
 protected:
  void SetUp() override {
    const dev_t dev = test::DeviceOf(top_.Path());
    if (dev == test::DeviceOf(home_.Path())) GTEST_SKIP() << "one file system only";
    test::WriteFile(home_ / "mountinfo", "30 1 " + std::to_string(major(dev)) + ":" +
                                             std::to_string(minor(dev)) + " / " + top_.Path() +
                                             " rw - tmpfs tmpfs rw\n");
    sys_.Redirect("/proc/self/mountinfo", home_ / "mountinfo");
    test::MakeDir(top_ / "sub");
    test::WriteFile(top_ / "sub/f", "f");
  }

  test::TempDir top_{"/dev/shm"};
  test::FaultSys sys_;
  const std::string own_ = ".Trash-" + std::to_string(getuid());
};

TEST_F(TopTrashTest, UsesOnlyTrashFoldersOfTheFilesOwnFileSystem) {
  // Trash folders that are links are never used, and the home trash is on another one.
  test::MakeDir(top_ / "elsewhere", 01777);
  test::MakeLink("elsewhere", top_ / ".Trash");
  test::MakeLink("elsewhere", top_ / own_);
  EXPECT_EQ(Trash(sys_, top_ / "sub/f", false),
            Lines{"File system error (18) while moving file: " + top_ / "sub/f"});
  EXPECT_EQ(test::ReadFile(top_ / "sub/f"), "f");
  EXPECT_EQ(test::Names(top_ / "elsewhere"), Lines{});
  EXPECT_FALSE(test::Exists(trash_));

  ASSERT_EQ(unlink((top_ / own_).c_str()) | unlink((top_ / ".Trash").c_str()), 0);
  EXPECT_EQ(Trash(sys_, top_ / "sub/f"), Lines{});
  EXPECT_EQ(test::ReadFile(top_ / own_ + "/files/f"), "f");
  EXPECT_TRUE(Stamped(test::ReadFile(top_ / own_ + "/info/f.trashinfo"), Info("sub/f"), before_,
                      'T', "\n"));
  EXPECT_EQ(test::LStat(top_ / own_).st_mode & 07777, 0700u);

  test::MakeDir(top_ / ".Trash", 01777);  // a shared sticky .Trash comes first
  test::WriteFile(top_ / "sub/g", "g");
  EXPECT_EQ(Trash(sys_, top_ / "sub/g"), Lines{});
  EXPECT_EQ(test::ReadFile(top_ / ".Trash/" + std::to_string(getuid()) + "/files/g"), "g");
}

}  // namespace
}  // namespace kestrel
