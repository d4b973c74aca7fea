#include <fcntl.h>
#include <unistd.h>

#include <climits>

#include <gtest/gtest.h>

#include "fs/folder.h"
#include "fs/win32_wrapper.h"
#include "platform/clock.h"
#include "reports/run_records.h"
#include "support/fault_sys.h"
#include "support/temp_tree.h"

namespace kestrel {
namespace {

using test::TempDir;

// Every path operation on a path of over 5,000 bytes: 25 folders of 200-byte names.
TEST(LongPaths, EveryOperationReachesThem) {
  TempDir dir, home;
  test::EnvVar data("XDG_DATA_HOME", home / "data");
  const std::string component(200, 'n');
  std::string folder = dir.Path();
  int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY);
  for (int level = 0; level < 25; ++level) {
    ASSERT_EQ(mkdirat(fd, component.c_str(), 0755), 0);
    const int next = openat(fd, component.c_str(), O_RDONLY | O_DIRECTORY);
    close(fd);
    fd = next;
    folder += "/" + component;
  }
  ASSERT_GT(folder.size(), static_cast<size_t>(PATH_MAX));
  const int file_fd = openat(fd, "del-01-01-2020.txt", O_CREAT | O_WRONLY, 0644);
  ASSERT_EQ(write(file_fd, "12345", 5), 5);
  close(file_fd);
  close(fd);
  const std::string file = folder + "/del-01-01-2020.txt";

  test::FaultSys sys;
  sys.space = {{7, 4096}};
  SystemClock clock;
  WarningReport warnings(clock);
  Win32Wrapper fs(sys, &warnings);
  EXPECT_TRUE(fs.FileExists(file));
  EXPECT_TRUE(fs.FolderExists(folder));
  EXPECT_FALSE(fs.FileIsReadOnly(file));
  EXPECT_EQ(fs.Stat(file).size, 5);
  EXPECT_EQ(fs.GetAvailableSpace(folder), 7u * 4096u);
  EXPECT_EQ(fs.GetDriveLetter(file), fs.GetDriveLetter(dir.Path()));
  EXPECT_TRUE(fs.SameDrive(file, dir.Path()));
  fs.CreateFolder(folder + "/made");
  std::string listed = folder;
  EXPECT_EQ(fs.FindFiles(listed, "*del-*"), std::vector<std::string>{file});
  EXPECT_EQ(fs.GetSubFolders(listed), std::vector<std::string>{"made"});
  EXPECT_TRUE(Folder::OpenRoot(sys, folder).OpenChild("made").Valid());

  // Out to a short path, back in, then to the Trash.
  EXPECT_TRUE(fs.MoveFile(file, dir.Path()));
  EXPECT_TRUE(fs.MoveFile(dir / "del-01-01-2020.txt", folder));
  EXPECT_TRUE(fs.MoveFile(file, ""));
  EXPECT_FALSE(fs.FileExists(file));
  EXPECT_EQ(test::ReadFile(home / "data/Trash/files/del-01-01-2020.txt"), "12345");
  const std::string info = test::ReadFile(home / "data/Trash/info/del-01-01-2020.txt.trashinfo");
  EXPECT_EQ(info.find("Path=" + file + "\n"), 13u);
  EXPECT_EQ(warnings.Warnings(), std::vector<std::string>{});
}

}  // namespace
}  // namespace kestrel
