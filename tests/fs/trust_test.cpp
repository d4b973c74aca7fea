#include "fs/trust.h"

#include <array>

#include "fs/fd.h"
#include "fs/make_folder.h"
#include "fs/run_lock.h"
#include "platform/error.h"
#include "support/engine_fixture.h"
#include "support/fault_sys.h"
#include "support/foreign_user.h"

namespace kestrel {
namespace {

std::string Refusal(const std::string& path) {
  const std::string user = test::RunningUserName();
  return path + " must belong to " + user + " and be writable by no one else (chown " + user + " " +
         path + "; chmod go-w " + path + ")";
}

// Another user makes the file or folder at path while its folder is open to all, as before its
// owner closed it again.
void ForeignMakes(const std::string& path, bool folder) {
  const std::string parent = path.substr(0, path.rfind('/'));
  const mode_t before = test::LStat(parent).st_mode & 07777;
  ASSERT_EQ(::chmod(parent.c_str(), 0777), 0);
  EXPECT_EQ(test::AsForeignUser([&] {
              if (folder) return ::mkdir(path.c_str(), 0755) ? errno : 0;
              const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
              return fd < 0 ? errno : ::close(fd);
            }),
            0);
  ASSERT_EQ(::chmod(parent.c_str(), before), 0);
}

TEST(Trust, ProgramFolderJournalFolderAndJournalsMustBeTheUsersAlone) {
  const std::string run = "/journal/2026-12-06T10-00-00.tsv";
  const struct {
    const char* name;
    bool foreign;
    std::function<void(const std::string& home)> make;
    std::string refused;  // below home; "-" none
  } cases[] = {
      {"private", false, [&](auto& h) { test::WriteFile(h + run, "", 0600); }, "-"},
      {"no journal folder yet", false, [](auto&) {}, "-"},
      {"group-writable folder", false, [](auto& h) { ::chmod(h.c_str(), 0770); }, ""},
      {"sticky world-writable folder", false, [](auto& h) { ::chmod(h.c_str(), 01777); }, ""},
      {"journal folder open to others", false, [](auto& h) { test::MakeDir(h + "/journal", 0757); },
       "/journal"},
      {"journal writable by the group", false, [&](auto& h) { test::WriteFile(h + run, "", 0620); },
       run},
      {"journal folder made by another user", true,
       [](auto& h) { ForeignMakes(h + "/journal", true); }, "/journal"},
      {"journal forged by another user", true,
       [&](auto& h) {
         test::MakeDir(h + "/journal", 0700);
         ForeignMakes(h + run, false);
       },
       run},
      {"link to another user's journal", true,
       [&](auto& h) {
         test::MakeDir(h + "/journal", 0700);
         ForeignMakes(h + "/forged.tsv", false);
         test::MakeLink(h + "/forged.tsv", h + run);
       },
       run},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.foreign && ::geteuid() != 0) {
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

// A refused or failed lock is reported, and only failures go to the log; the lock is private
// and no other user can hold it.
TEST(RunLock, EveryRefusalIsReportedAndNoOtherUserCanHoldTheLock) {
  test::TempDir folder;
  test::FakeClock clock{test::At(2026, 12, 6, 10, 0, 0)};
  test::RecordingReporter reporter;
  const std::string lock_path = folder / ".kestrel.lock";
  for (const mode_t before : {mode_t{0}, mode_t{0644}, mode_t{0666}}) {
    if (before != 0) test::WriteFile(lock_path, "", before);
    RunLock lock(RealSys(), folder.Path());
    ASSERT_TRUE(lock.Acquire(clock, 0)) << before;
    EXPECT_EQ(test::LStat(lock_path).st_mode & 07777, 0600u) << before;
  }

  RunLock holder(RealSys(), folder.Path());
  ASSERT_TRUE(holder.Acquire(clock, 0));
  RunLock busy(RealSys(), folder.Path() + "/");  // the same folder, however written
  // Sleeps move the clock one second each: tries at 0..6 s, the last one more than 5 s on.
  EXPECT_FALSE(TakeRunLock(busy, clock, reporter, 5, "Functions.Main"));
  EXPECT_EQ(clock.sleeps, 6);

  test::FaultSys faults;
  faults.Fail(test::Op::kOpenAt, EACCES);
  RunLock unopenable(faults, folder.Path());
  EXPECT_FALSE(TakeRunLock(unopenable, clock, reporter, 0, "frmKestrel.cmdRun_Click"));

  test::TempDir linked;
  ASSERT_EQ(::symlink((linked / "elsewhere").c_str(), (linked / ".kestrel.lock").c_str()), 0);
  RunLock through_link(RealSys(), linked.Path());
  EXPECT_FALSE(TakeRunLock(through_link, clock, reporter, 0, "Functions.Main"));
  EXPECT_FALSE(std::filesystem::exists(linked / "elsewhere"));

  test::TempDir fifo;
  ASSERT_EQ(::mkfifo((fifo / ".kestrel.lock").c_str(), 0644), 0);
  RunLock on_fifo(RealSys(), fifo.Path());
  EXPECT_FALSE(TakeRunLock(on_fifo, clock, reporter, 0, "Functions.Main"));  // does not block

  ASSERT_EQ(reporter.reports.size(), 4u);
  EXPECT_EQ(reporter.reports[0].description, "Another clean-up run is in progress");
  EXPECT_EQ(reporter.reports[0].number, kAppError);
  EXPECT_EQ(reporter.reports[0].location, "Functions.Main\nFunctions.Main");
  EXPECT_EQ(reporter.reports[0].log_name, "");
  EXPECT_EQ(reporter.reports[1].description,
            "open failed for " + (folder / ".kestrel.lock") + ": Permission denied");
  EXPECT_EQ(reporter.reports[1].location, "frmKestrel.cmdRun_Click\nRunLock");
  EXPECT_EQ(reporter.reports[1].log_name, "Kestrel.log");
  EXPECT_EQ(reporter.reports[2].number, ELOOP);
  EXPECT_EQ(reporter.reports[3].description,
            "The run lock " + (fifo / ".kestrel.lock") + " is not a file");
  EXPECT_EQ(clock.sleeps, 6);  // no wait asked for after the first, none made

  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  ASSERT_EQ(::chmod(folder.Path().c_str(), 0755), 0);
  EXPECT_EQ(
      test::AsForeignUser([&] { return ::open(lock_path.c_str(), O_RDONLY) < 0 ? errno : 0; }),
      EACCES);

  ::unlink(lock_path.c_str());
  ForeignMakes(lock_path, false);  // refused, not shared
  RunLock lock(RealSys(), folder.Path());
  EXPECT_FALSE(TakeRunLock(lock, clock, reporter, 0, "Functions.Main"));
  ASSERT_EQ(reporter.reports.size(), 5u);
  EXPECT_EQ(reporter.reports[4].description, Refusal(lock_path));
}

TEST(Trust, AFolderMadeAgainGetsItsRecordedOwnerAndMode) {
  test::TempDir parent;
  Fd dir(RealSys(), ::open(parent.Path().c_str(), O_RDONLY | O_DIRECTORY));
  const bool root = ::geteuid() == 0;
  const test::ForeignIds ids = test::UnusedIds();
  const FolderOwner recorded{ids.uid, ids.gid, 02750};
  ASSERT_EQ(MakeRecordedFolder(RealSys(), dir.Get(), "sub", &recorded), 0);
  const struct stat st = test::LStat(parent / "sub");
  EXPECT_EQ(st.st_uid, root ? ids.uid : ::getuid());
  EXPECT_EQ(st.st_gid, root ? ids.gid : ::getgid());
  EXPECT_EQ(st.st_mode & 07777, 02750u);
  EXPECT_EQ(MakeRecordedFolder(RealSys(), dir.Get(), "sub", &recorded), EEXIST);

  const auto fields = [](const std::vector<FolderOwner>& owners) {
    std::vector<std::array<unsigned, 3>> out;
    for (const FolderOwner& o : owners) out.push_back({o.uid, o.gid, o.mode});
    return out;
  };
  using Fields = std::vector<std::array<unsigned, 3>>;
  EXPECT_EQ(fields(ParseFolderOwners("1000:100:755/0:0:1777")),
            (Fields{{1000, 100, 0755}, {0, 0, 01777}}));
  for (const char* bad : {"", "1000:100", "1:2:9", "1:2:755/", "-1:2:755", "1:2:17777", "1:2:7 "})
    EXPECT_EQ(fields(ParseFolderOwners(bad)), Fields{}) << bad;
}

}  // namespace
}  // namespace kestrel
