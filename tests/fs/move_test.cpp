#include <fcntl.h>
#include <sys/sysmacros.h>
#include <sys/xattr.h>

#include <ctime>
#include <functional>

#include <gtest/gtest.h>

#include "fs/folder.h"
#include "fs/move_ops.h"
#include "fs/win32_wrapper.h"
#include "platform/clock.h"
#include "platform/date_time.h"
#include "reports/run_records.h"
#include "support/fault_sys.h"
#include "support/second_fs.h"
#include "support/temp_tree.h"

namespace kestrel {
namespace {

using test::FaultSys;
using test::LStat;
using test::Op;
using Names = std::vector<std::string>;

std::string Error(int err, const std::string& path) {
  return "File system error (" + std::to_string(err) + ") while moving file: " + path;
}

// Returns true iff text is the .trashinfo of path, deleted the second before or the one after.
bool Stamped(const std::string& text, const std::string& path, std::time_t before) {
  for (const std::time_t t : {before, before + 1}) {
    if (text == "[Trash Info]\nPath=" + path + "\nDeletionDate=" +
                    DateTime::FromTimeT(t).ToIsoText().replace(10, 1, "T") + "\n")
      return true;
  }
  return false;
}

class MoveTest : public testing::Test {
 protected:
  // Moves into the quarantine folder or the Trash, a copy through a group of its own when
  // grouped; returns the warnings given.
  Names Move(Sys& sys, const std::string& from, bool moved = true, bool to_trash = false,
             bool grouped = false) {
    SystemClock clock;
    WarningReport warnings(clock);
    Win32Wrapper fs(sys, &warnings, &scanned_);
    CopyGroup group(sys);
    MovePlaced placed;
    bool done = fs.MoveFile(from, to_trash ? "" : q_, &placed, grouped ? &group : nullptr);
    // Until the group's Finish, only the source is to be seen.
    if (placed.grouped) {
      EXPECT_EQ(std::make_pair(access(from.c_str(), F_OK), test::Names(q_).size()),
                std::make_pair(0, size_t{0}));
    }
    group.Finish([&](const CopyGroup::Done& d) {
      placed.error = d.error, placed.not_kept = d.not_kept;
      fs.MoveWarning(from, placed);
      done = d.error == 0;
    });
    EXPECT_EQ(done, moved) << from;
    return warnings.Warnings();
  }
  Names Trash(Sys& sys, const std::string& from, bool moved = true) {
    return Move(sys, from, moved, true);
  }
  static void MakeTree(const std::string& root) {
    test::MakeDir(root, 0750);
    test::WriteFile(root + "/f1", "one", 0600);
    test::WriteFile(root + "/sub/data", std::string(100000, 'd'));
    test::MakeLink("../f1", root + "/sub/link");
  }
  static void ExpectTree(const std::string& root) {
    EXPECT_EQ(LStat(root).st_mode & 07777, 0750u);
    EXPECT_EQ(LStat(root + "/f1").st_mode & 07777, 0600u);
    EXPECT_EQ(test::ReadFile(root + "/sub/data"), std::string(100000, 'd'));
    EXPECT_TRUE(S_ISLNK(LStat(root + "/sub/link").st_mode));
    EXPECT_EQ(test::ReadFile(root + "/sub/link"), "one");
  }
  void SetUp() override { test::MakeDir(q_); }

  test::TempDir home_, dir_;
  test::EnvVar home_var_{"HOME", home_.Path()};
  test::EnvVar data_var_{"XDG_DATA_HOME", home_ / "data"};
  const std::string q_ = dir_ / "q", trash_ = home_ / "data/Trash";
  const std::time_t before_ = std::time(nullptr);
  ScannedFolders scanned_;
};

// A taken name is never overwritten. A run's search for a free name goes on where its last
// search for that name stopped, so that n files of one name take about n renames, not n*n/2; a
// name taken before stays untouched.
TEST_F(MoveTest, NeverOverwritesATakenNameAndSearchesOnWhereTheLastStopped) {
  FaultSys sys;
  test::WriteFile(q_ + "/x (2).txt", "old");
  MoveCache cache;
  for (int i = 0; i < 50; ++i) {
    for (const char* name : {"x.txt", "noext", ".bashrc", "a.tar.gz"}) {
      const std::string from = dir_ / std::to_string(i) + "/" + name;
      test::WriteFile(from, std::to_string(i));
      EXPECT_TRUE(Win32Wrapper(sys, nullptr, nullptr, &cache).MoveFile(from, q_)) << from;
    }
  }
  EXPECT_EQ(sys.calls[Op::kRenameAt2], 51 + 3 * 50);
  EXPECT_EQ(test::Names(q_).size(), 201u);
  std::string texts;
  for (const char* name : {"x (2).txt", "x.txt", "x (3).txt", "x (51).txt", "noext", "noext (2)",
                           "noext (50)", ".bashrc", ".bashrc (2)", "a.tar.gz", "a.tar (2).gz"})
    texts += test::ReadFile(q_ + "/" + name) + " ";
  EXPECT_EQ(texts, "old 0 1 49 0 1 49 0 1 0 1 ");
}

// The same moves by rename within a file system and, from a second one, by copy: the outcome
// is the same but for special files, which only rename.
TEST_F(MoveTest, MovesFilesAndSparseFilesAndOnlyRenamesSpecialFiles) {
  test::SecondFileSystem other;
  for (const std::string& src : {dir_ / "src", other.Path()}) {
    const bool across = src == other.Path();
    if (across && src.empty()) GTEST_SKIP() << "no second file system here";
    SCOPED_TRACE(src);
    const off_t size = 3LL * 1024 * 1024 * 1024 + 5;
    test::WriteFile(src + "/x", "payload", 0640);
    test::WriteFile(src + "/sparse", "");
    std::filesystem::resize_file(src + "/sparse", size);
    const struct timespec times[2] = {{1600000000, 5}, {1600000100, 7}};
    ASSERT_EQ(utimensat(AT_FDCWD, (src + "/x").c_str(), times, 0), 0);
    ASSERT_EQ(mkfifo((src + "/fifo").c_str(), 0644), 0);
    EXPECT_EQ(Win32Wrapper(RealSys()).Stat(src + "/sparse").size, size);
    EXPECT_EQ(Win32Wrapper(RealSys()).Stat(src + "/x").stamp, DateTime::FromTimeT(1600000100));

    EXPECT_EQ(Move(RealSys(), src + "/x"), Names{});
    EXPECT_EQ(Move(RealSys(), src + "/sparse"), Names{});
    EXPECT_EQ(Move(RealSys(), src + "/fifo", !across),
              across ? Names{Error(EXDEV, src + "/fifo")} : Names{});
    EXPECT_EQ(test::ReadFile(q_ + "/x"), "payload");
    EXPECT_EQ(LStat(q_ + "/x").st_mode & 07777, 0640u);
    EXPECT_EQ(LStat(q_ + "/x").st_mtim.tv_sec, 1600000100);
    EXPECT_EQ(LStat(q_ + "/x").st_mtim.tv_nsec, 7);
    EXPECT_EQ(LStat(q_ + "/sparse").st_size, size);
    EXPECT_LT(LStat(q_ + "/sparse").st_blocks, 2048);  // still sparse: under 1 MiB on disk
    EXPECT_EQ(test::Names(src), across ? Names{"fifo"} : Names{});
    ASSERT_EQ(std::system(("rm -rf '" + q_ + "'/*").c_str()), 0);
  }
}

// The copy path on one file system, the first rename refused with EXDEV and copy_file_range
// refused as between two file systems. A target that cannot hold the attributes still takes
// the item, and one warning names what was lost.
TEST_F(MoveTest, AFailedCopyLeavesTheSourceAndNoPartialCopy) {
  const struct {
    const char* what;
    std::function<void(FaultSys&)> arm;
    int err;  // 0: the move must succeed
  } faults[] = {
      {"none", [](FaultSys&) {}, 0},
      {"short write", [](FaultSys& s) { s.short_write = 2; }, 0},
      {"disk full", [](FaultSys& s) { s.Fail(Op::kWrite, ENOSPC); }, ENOSPC},
      {"write takes nothing", [](FaultSys& s) { s.short_write = 0; }, ENOSPC},
      {"read error", [](FaultSys& s) { s.Fail(Op::kRead, EIO); }, EIO},
      {"sync error", [](FaultSys& s) { s.Fail(Op::kFsync, EIO); }, EIO},
      {"no syncfs", [](FaultSys& s) { s.Fail(Op::kSyncFs, ENOSYS); }, 0},
      {"copy denied",
       [](FaultSys& s) {
         s.Fail(Op::kTmpFile, EACCES);
         s.Fail(Op::kOpenAt, EACCES, 1, ".kestrel-");
       },
       EACCES},
      {"no anonymous files", [](FaultSys& s) { s.Fail(Op::kTmpFile, EOPNOTSUPP); }, 0},
      {"no /proc to name one", [](FaultSys& s) { s.no_proc = true; }, 0},
      {"rename into place",
       [](FaultSys& s) {
         s.Fail(Op::kRenameAt2, EACCES);
         s.Fail(Op::kLinkAt, EACCES);
       },
       EACCES},
      {"source not removable", [](FaultSys& s) { s.Fail(Op::kUnlinkAt, EPERM, 1, "data"); }, EPERM},
      {"copy_file_range error", [](FaultSys& s) { s.Fail(Op::kCopyFileRange, EIO); }, EIO},
      {"no attributes on the target", [](FaultSys& s) { s.Fail(Op::kSetXattr, EOPNOTSUPP, 0); }, 0},
  };
  const std::string from = dir_ / "data";
  for (const auto& f : faults) {
    for (const int mode : {0, 1, 2}) {
      const bool folder = mode == 1, grouped = mode == 2;
      SCOPED_TRACE(std::string(f.what) + (folder    ? " (folder)"
                                          : grouped ? " (grouped)"
                                                    : " (file)"));
      folder ? MakeTree(from) : test::WriteFile(from, std::string(100000, 'd'), 0640);
      for (const std::string& p : {from, from + (folder ? "/f1" : "")})
        ASSERT_EQ(::setxattr(p.c_str(), "user.note", "n", 1, 0), 0);
      FaultSys sys;
      sys.Fail(Op::kRenameAt2, EXDEV);
      if (!std::string_view(f.what).starts_with("copy_file_range"))
        sys.Fail(Op::kCopyFileRange, EXDEV, 0);
      f.arm(sys);
      const Names warnings = Move(sys, from, f.err == 0, false, grouped);
      // A group syncs the file system once and the folder once, never a copy on its own.
      if (grouped && f.what == std::string_view("none")) {
        EXPECT_EQ(std::make_pair(sys.calls[Op::kSyncFs], sys.calls[Op::kFsync]),
                  std::make_pair(1, 1));
      }
      const std::string denied = "File access is denied: " + from;
      if (f.err == 0) {
        const bool lost = std::string_view(f.what).starts_with("no attributes");
        EXPECT_EQ(
            warnings,
            lost ? Names{"Not kept on the destination (extended attributes): " + from} : Names{});
        EXPECT_NE(access(from.c_str(), F_OK), 0);
        EXPECT_EQ(test::ReadFile(q_ + "/data" + (folder ? "/sub/data" : "")),
                  std::string(100000, 'd'));
      } else if (folder && f.err == EPERM) {
        // The copy landed and the source could not be removed in full: both stay.
        EXPECT_EQ(warnings, Names{denied});
        ExpectTree(q_ + "/data");
        EXPECT_EQ(test::Names(from + "/sub"), Names{"data"});
      } else {
        EXPECT_EQ(warnings, Names{f.err == EACCES || f.err == EPERM ? denied : Error(f.err, from)});
        EXPECT_EQ(test::ReadFile(folder ? from + "/sub/data" : from), std::string(100000, 'd'));
        if (folder) ExpectTree(from);
        EXPECT_EQ(test::Names(q_), Names{});
      }
      ASSERT_EQ(std::system(("rm -rf '" + from + "' '" + q_ + "/data'").c_str()), 0);
    }
  }
}

TEST_F(MoveTest, RefusesAFolderSwappedSinceTheScan) {
  const std::string in = dir_ / "in", name = "/x del-01-01-2020";
  test::WriteFile(in + name, "scanned");
  test::WriteFile(in + "/second", "scanned");
  test::WriteFile(dir_ / "elsewhere" + name, "not scanned");
  const Folder folder = Folder::OpenRoot(RealSys(), in);
  scanned_.Remember(in + "/", folder.Device(), folder.Inode());

  EXPECT_EQ(Move(RealSys(), in + "/second"), Names{});
  ASSERT_EQ(rename(in.c_str(), (dir_ / "in-old").c_str()), 0);
  test::MakeLink(dir_ / "elsewhere", in);
  EXPECT_EQ(Move(RealSys(), in + name, false), Names{Error(ELOOP, in + name)});
  EXPECT_EQ(test::ReadFile(dir_ / "elsewhere" + name), "not scanned");
  EXPECT_EQ(test::Names(q_), Names{"second"});
}

TEST_F(MoveTest, HomeTrashKeepsWhereEachEntryCameFrom) {
  const std::string name = "a b%\xff\n.txt", second = "a b%\xff\n (2).txt";
  test::WriteFile(dir_ / name, "first");
  test::WriteFile(dir_ / "again/" + name, "second");
  test::WriteFile(dir_ / "folder/inner", "inner");
  for (const std::string& from : {dir_ / name, dir_ / "again/" + name, dir_ / "folder"})
    EXPECT_EQ(Trash(RealSys(), from), Names{});
  EXPECT_EQ(test::Names(trash_ + "/files"), (Names{second, name, "folder"}));
  EXPECT_EQ(test::ReadFile(trash_ + "/files/" + name) +
                test::ReadFile(trash_ + "/files/" + second) +
                test::ReadFile(trash_ + "/files/folder/inner"),
            "firstsecondinner");
  EXPECT_TRUE(Stamped(test::ReadFile(trash_ + "/info/" + second + ".trashinfo"),
                      dir_.Path() + "/again/a%20b%25%FF%0A.txt", before_));
  EXPECT_EQ(test::LStat(trash_).st_mode & 07777, 0700u);

  test::WriteFile(dir_ / "x", "x");  // a failed move takes its .trashinfo back
  FaultSys sys;
  sys.Fail(Op::kRenameAt2, EACCES);
  EXPECT_EQ(Trash(sys, dir_ / "x", false), Names{"File access is denied: " + dir_ / "x"});
  EXPECT_EQ(test::Names(trash_ + "/info").size(), 3u);
  EXPECT_EQ(test::ReadFile(dir_ / "x"), "x");
}

// A file on another file system goes to a trash folder at its top, named by the mount table.
TEST_F(MoveTest, FileOnAnotherFileSystemUsesOnlyTrashFoldersThere) {
  test::SecondFileSystem top;
  if (top.Path().empty()) GTEST_SKIP() << "no second file system here";
  const dev_t dev = test::LStat(top.Path()).st_dev;
  test::WriteFile(home_ / "mountinfo", "30 1 " + std::to_string(major(dev)) + ":" +
                                           std::to_string(minor(dev)) + " / " + top.Path() +
                                           " rw - tmpfs tmpfs rw\n");
  FaultSys sys;
  sys.Redirect("/proc/self/mountinfo", home_ / "mountinfo");
  const std::string own = ".Trash-" + std::to_string(getuid());
  test::WriteFile(top / "sub/f", "f");

  // Trash folders that are links are never used, and the home trash is on another one.
  test::MakeDir(top / "elsewhere", 01777);
  test::MakeLink("elsewhere", top / ".Trash");
  test::MakeLink("elsewhere", top / own);
  EXPECT_EQ(Trash(sys, top / "sub/f", false), Names{Error(EXDEV, top / "sub/f")});
  EXPECT_EQ(test::ReadFile(top / "sub/f"), "f");
  EXPECT_EQ(test::Names(top / "elsewhere"), Names{});
  EXPECT_NE(access(trash_.c_str(), F_OK), 0);

  ASSERT_EQ(unlink((top / own).c_str()) | unlink((top / ".Trash").c_str()), 0);
  EXPECT_EQ(Trash(sys, top / "sub/f"), Names{});
  EXPECT_EQ(test::ReadFile(top / own + "/files/f"), "f");
  EXPECT_TRUE(Stamped(test::ReadFile(top / own + "/info/f.trashinfo"), "sub/f", before_));
  EXPECT_EQ(test::LStat(top / own).st_mode & 07777, 0700u);

  test::MakeDir(top / ".Trash", 01777);  // a shared sticky .Trash comes first
  test::WriteFile(top / "sub/g", "g");
  EXPECT_EQ(Trash(sys, top / "sub/g"), Names{});
  EXPECT_EQ(test::ReadFile(top / ".Trash/" + std::to_string(getuid()) + "/files/g"), "g");
}

}  // namespace
}  // namespace kestrel
