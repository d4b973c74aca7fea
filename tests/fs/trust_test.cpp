#include "fs/trust.h"

#include <sys/file.h>

#include <cerrno>
#include <functional>

#include "fs/fd.h"
#include "fs/make_folder.h"
#include "fs/run_lock.h"
#include "support/engine_fixture.h"
#include "support/foreign_user.h"

namespace kestrel {
namespace {

std::string Refusal(const std::string& path) {
  const std::string user = test::RunningUserName();
  return path + " must belong to " + user + " and be writable by no one else (chown " + user + " " +
         path + "; chmod go-w " + path + ")";
}

// Another user writes into folder while it is open to all, as before its owner closed it.
void ForeignWrites(const std::string& folder, const std::function<int()>& body) {
  ASSERT_EQ(::chmod(folder.c_str(), 0777), 0);
  EXPECT_EQ(test::AsForeignUser(body), 0);
  ASSERT_EQ(::chmod(folder.c_str(), 0700), 0);
}

int Plant(const std::string& path, mode_t mode) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, mode);
  return fd < 0 ? errno : ::close(fd);
}

TEST(Trust, ProgramFolderJournalFolderAndJournalsMustBeTheUsersAlone) {
  const bool root = ::geteuid() == 0;
  const struct {
    const char* name;
    bool foreign;
    std::function<void(const std::string& home)> make;
    std::string refused;  // below home; "-" none
  } cases[] = {
      {"private", false, [](const std::string& home) { test::MakeDir(home + "/journal", 0700); },
       "-"},
      {"no journal folder yet", false, [](const std::string&) {}, "-"},
      {"group-writable folder", false,
       [](const std::string& home) { ASSERT_EQ(::chmod(home.c_str(), 0770), 0); }, ""},
      {"sticky world-writable folder", false,
       [](const std::string& home) { ASSERT_EQ(::chmod(home.c_str(), 01777), 0); }, ""},
      {"journal folder open to others", false,
       [](const std::string& home) { test::MakeDir(home + "/journal", 0757); }, "/journal"},
      {"journal writable by the group", false,
       [](const std::string& home) {
         test::WriteFile(home + "/journal/2026-12-06T10-00-00.tsv", "", 0620);
       },
       "/journal/2026-12-06T10-00-00.tsv"},
      {"journal folder made by another user", true,
       [](const std::string& home) {
         ForeignWrites(home,
                       [&] { return ::mkdir((home + "/journal").c_str(), 0755) ? errno : 0; });
       },
       "/journal"},
      {"journal forged by another user", true,
       [](const std::string& home) {
         test::MakeDir(home + "/journal", 0700);
         ForeignWrites(home + "/journal",
                       [&] { return Plant(home + "/journal/2026-12-06T10-00-00.tsv", 0600); });
       },
       "/journal/2026-12-06T10-00-00.tsv"},
      {"link to another user's journal", true,
       [](const std::string& home) {
         test::MakeDir(home + "/journal", 0700);
         test::MakeDir(home + "/open", 0700);
         ForeignWrites(home + "/open", [&] { return Plant(home + "/open/forged.tsv", 0600); });
         test::MakeLink(home + "/open/forged.tsv", home + "/journal/2026-12-06T10-00-00.tsv");
       },
       "/journal/2026-12-06T10-00-00.tsv"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.foreign && !root) {
      std::printf("skipped %s: needs root to act as another user\n", c.name);
      continue;
    }
    test::TempDir home;
    ASSERT_EQ(::chmod(home.Path().c_str(), 0711), 0);  // others may pass, as into a home
    c.make(home.Path());
    EXPECT_EQ(ProgramFolderDistrust(RealSys(), home.Path()),
              c.refused == "-" ? "" : Refusal(home.Path() + c.refused));
  }
}

TEST(Trust, RunLockIsPrivateAndNoOtherUserCanHoldIt) {
  test::FakeClock clock{test::At(2026, 12, 6, 10, 0, 0)};
  test::TempDir home;
  const std::string lock_path = home / ".kestrel.lock";
  for (const mode_t before : {mode_t{0}, mode_t{0644}, mode_t{0666}}) {
    if (before != 0) test::WriteFile(lock_path, "", before);
    RunLock lock(RealSys(), home.Path());
    ASSERT_TRUE(lock.Acquire(clock, 0)) << before;
    EXPECT_EQ(test::LStat(lock_path).st_mode & 07777, 0600u) << before;
    ::unlink(lock_path.c_str());
  }
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";

  // With the folder open to others for once, another user cannot open the lock to hold it.
  {
    RunLock lock(RealSys(), home.Path());
    ASSERT_TRUE(lock.Acquire(clock, 0));
  }
  ASSERT_EQ(::chmod(home.Path().c_str(), 0755), 0);
  EXPECT_EQ(test::AsForeignUser([&] {
              const int fd = ::open(lock_path.c_str(), O_RDONLY);
              return fd < 0 ? errno : (::flock(fd, LOCK_EX), 0);
            }),
            EACCES);

  // A lock file another user made is refused, not shared.
  ::unlink(lock_path.c_str());
  ForeignWrites(home.Path(), [&] { return Plant(lock_path, 0644); });
  test::RecordingReporter reporter;
  RunLock lock(RealSys(), home.Path());
  EXPECT_FALSE(TakeRunLock(lock, clock, reporter, 0, "Functions.Main"));
  ASSERT_EQ(reporter.reports.size(), 1u);
  EXPECT_EQ(reporter.reports[0].description, Refusal(lock_path));
}

TEST(Trust, AFolderMadeAgainGetsItsRecordedOwnerAndMode) {
  test::TempDir parent;
  Fd dir(RealSys(), ::open(parent.Path().c_str(), O_RDONLY | O_DIRECTORY));
  const mode_t mask = ::umask(0);
  ::umask(mask);
  const bool root = ::geteuid() == 0;
  const test::ForeignIds ids = test::UnusedIds();
  const FolderOwner recorded{ids.uid, ids.gid, 02750};
  const struct {
    const char* name;
    const FolderOwner* owner;
    uid_t uid;
    gid_t gid;
    mode_t mode;
  } cases[] = {
      {"no record (format 1)", nullptr, ::getuid(), ::getgid(), 0777 & ~mask},
      {"recorded", &recorded, root ? ids.uid : ::getuid(), root ? ids.gid : ::getgid(), 02750},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(MakeRecordedFolder(RealSys(), dir.Get(), c.name, c.owner), 0);
    const struct stat st = test::LStat(parent / c.name);
    EXPECT_EQ(st.st_uid, c.uid);
    EXPECT_EQ(st.st_gid, c.gid);
    EXPECT_EQ(st.st_mode & 07777, c.mode);
    EXPECT_EQ(MakeRecordedFolder(RealSys(), dir.Get(), c.name, c.owner), EEXIST);
  }
}

}  // namespace
}  // namespace kestrel
