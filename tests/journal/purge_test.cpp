#include "journal/purge.h"

#include <grp.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "journal/journal_reader.h"
#include "journal/journal_text.h"
#include "journal/restore.h"
#include "support/engine_fixture.h"
#include "support/fault_sys.h"
#include "support/foreign_user.h"

namespace kestrel::journal {
namespace {

using test::At;
using test::WriteFile;
namespace fs = std::filesystem;

constexpr std::int64_t kDay = 86400;

// Reports every entry named "mnt" as lying on another mount.
class MountSys : public test::FaultSys {
 public:
  int StatX(int dirfd, const char* path, int flags, unsigned mask, struct statx* out) override {
    const int rc = FaultSys::StatX(dirfd, path, flags, mask, out);
    if (rc == 0 && (std::string_view(path) == "mnt" || (*path == '\0' && Named(dirfd, "/mnt"))))
      out->stx_mnt_id += 1000;
    return rc;
  }

 private:
  static bool Named(int fd, std::string_view suffix) {
    return fs::read_symlink("/proc/self/fd/" + std::to_string(fd)).string().ends_with(suffix);
  }
};

class PurgeTest : public test::EngineTest {
 protected:
  PurgeTest() {
    fs::create_directories(q);
    fs::create_directories(JournalFolder(fn));
    ::chmod(q.c_str(), 0700);
  }
  PurgeSetup MakeSetup(int days = 30, Sys& sys = RealSys()) {
    return {sys, clock, q, JournalFolder(fn), days, {home.Path()}};
  }
  // The intent and moved lines of entry n: q/name, moved at, recorded with its inode plus skew.
  std::string Moved(int n, const std::string& name, DateTime at, ino_t skew = 0) {
    const struct stat st = test::LStat(q + "/" + name);
    char mode[16];
    std::snprintf(mode, sizeof mode, "%o", st.st_mode);
    const std::string num = std::to_string(n);
    return "intent\t" + num + "\t/data/" + name + "\t0\t" + mode + "\t0\t0\t" +
           std::to_string(st.st_dev) + "\t" + std::to_string(st.st_ino + skew) +
           "\t/data\t1\t2\t0\nmoved\t" + num + "\t" + IsoText(at) + "\t" + q + "/" + name + "\t\n";
  }
  void Journal(const std::string& run, const std::string& body) {
    WriteFile(JournalFolder(fn) + "/" + run + ".tsv",
              "kestrel-journal\t1\nrun\t2026-10-01T00:00:00\t\t" + q + "\n" + body +
                  "end\t2026-10-01T00:00:01\n");
  }
  // The warnings of a purge in a forked child, after what enter returns (it makes a
  // namespace, becomes another user).
  std::string PurgeInChild(const std::function<std::string()>& enter) {
    int fds[2];
    if (::pipe(fds) != 0) return "no pipe";
    if (const pid_t pid = ::fork(); pid != 0) {
      ::close(fds[1]);
      std::string text;
      char buf[512];
      for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;)
        text.append(buf, static_cast<size_t>(n));
      ::close(fds[0]);
      ::waitpid(pid, nullptr, 0);
      return text;
    }
    std::string text = enter();
    MountSys sys;
    RunPurge(MakeSetup(30, sys), {{}, [&](const std::string& t) { text += t + "\n"; }, {}});
    (void)!::write(fds[1], text.data(), text.size());
    ::_exit(0);
  }
  static std::vector<std::string> Names(const std::vector<PurgeItem>& items) {
    std::vector<std::string> out;
    for (const PurgeItem& i : items) out.push_back(i.name);
    return out;
  }

  std::string q = home / "q";
};

// One table of quarantine items: the day boundary, unknown and changed items, a file restored
// and moved again, and a purge that deletes exactly what the plan listed.
TEST_F(PurgeTest, SelectsByJournalIdentityAndAgeThenPurgesWhatItListed) {
  const DateTime now = clock.Now();
  struct Row {
    const char* name;
    bool folder;
    std::int64_t age;  // seconds since its move; its journal skews the inode when ino_skew
    ino_t ino_skew;
    bool journaled;
  } rows[] = {
      {"at the boundary", false, 30 * kDay, 0, true},
      {"a second short", false, 30 * kDay - 1, 0, true},
      {"no journal", false, 90 * kDay, 0, false},
      {"another inode", false, 90 * kDay, 1, true},
      {"folder due", true, 31 * kDay, 0, true},
      {"moved in the future", false, -kDay, 0, true},
  };
  std::string body;
  int n = 0;
  for (const Row& r : rows) {
    const std::string path = q + "/" + r.name;
    if (r.folder) {
      WriteFile(path + "/sub/x", "12345");
      WriteFile(path + "/y", "123");
    } else {
      WriteFile(path, "1234567");
    }
    if (r.journaled) body += Moved(++n, r.name, now.AddSeconds(-r.age), r.ino_skew);
  }
  // Restored after a move 60 days ago, moved again 10 days ago: 10 days old.
  WriteFile(q + "/again", "ab");
  const std::string old = Moved(1, "again", now.AddSeconds(-60 * kDay)) +
                          "restoring\t1\t2026-10-02T00:00:00\nrestored\t1\t2026-10-02T00:00:00\t"
                          "/data/again\n";
  Journal("2026-10-01T00-00-00", old);
  Journal("2026-11-01T00-00-00", body + Moved(++n, "again", now.AddSeconds(-10 * kDay)));

  Fd folder;
  ASSERT_EQ(OpenQuarantine(RealSys(), q, folder), 0);
  const PurgePlan plan = PlanPurge(MakeSetup(), folder.Get());
  EXPECT_EQ(Names(plan.due), (std::vector<std::string>{"at the boundary", "folder due"}));
  EXPECT_EQ(Names(plan.later),
            (std::vector<std::string>{"a second short", "again", "moved in the future"}));
  EXPECT_EQ(plan.unknown, 2);
  ASSERT_EQ(plan.due.size(), 2u);
  EXPECT_EQ(plan.due[1].size, 8);
  EXPECT_EQ(plan.due[0].since, now.AddSeconds(-30 * kDay));
  EXPECT_EQ(plan.later[1].since, now.AddSeconds(-10 * kDay));
  EXPECT_TRUE(PlanPurge(MakeSetup(0), folder.Get()).due.empty());

  std::vector<std::string> purged, warnings;
  const PurgeResult result =
      RunPurge(MakeSetup(), {[&](const PurgeItem& i) { purged.push_back(i.name); },
                             [&](const std::string& t) { warnings.push_back(t); },
                             {}});
  EXPECT_EQ(purged, Names(plan.due));
  EXPECT_EQ(result.items, 2);
  EXPECT_EQ(result.bytes, 7 + 8);
  EXPECT_EQ(result.errors, 0);
  EXPECT_EQ(warnings, std::vector<std::string>{"2 items in " + q + " are in no journal; left"});
  EXPECT_EQ(test::Names(q), (std::vector<std::string>{"a second short", "again", "another inode",
                                                      "moved in the future", "no journal"}));

  RunJournal run;
  ASSERT_EQ(ReadJournal(RealSys(), JournalFolder(fn), "2026-11-01T00-00-00", run), 0);
  RestoreEvents events;
  events.warning = [&](const std::string& t) { warnings.push_back(t); };
  Restore(RealSys(), clock, run, {"/data/at the boundary"}, {}, events);
  EXPECT_EQ(warnings.back(), "Not restored, purged on 2026-12-06: /data/at the boundary");
}

// The home folders come from $HOME and the password database, the program folder from the run.
TEST_F(PurgeTest, RefusesFoldersItMustNotEmpty) {
  for (const char* made : {"h", "prog", "shared"}) fs::create_directories(home / made);
  ::chmod((home / "shared").c_str(), 0770);
  test::EnvVar env_home("HOME", home / "h");
  const std::string held = " is or holds a home or program folder";
  const std::string folders[] = {"/",           home / "h",  ::getpwuid(0)->pw_dir,
                                 home / "prog", home.Path(), home / "shared"};
  for (const std::string& folder : folders) {
    PurgeSetup setup = MakePurgeSetup(RealSys(), clock, home / "prog", folder, 30);
    setup.dry_run = true;  // should a guard fail, nothing goes
    std::vector<std::string> warnings;
    const PurgeResult result =
        RunPurge(setup, {{}, [&](const std::string& t) { warnings.push_back(t); }, {}});
    EXPECT_TRUE(result.refused) << folder;
    EXPECT_EQ(warnings, std::vector<std::string>{
                            "Purge refused, " + folder +
                            (folder != home / "shared"
                                 ? held
                                 : " can be written by others (chmod go-w " + folder + ")")});
  }
}

// As another user, for whom permissions hold: links are removed as links, its own read-only
// folder emptied; a folder of root's, a mount (the double's) and a real bind mount (the same
// file system; in the child's own namespace) left; and root's quarantine refused to it.
TEST_F(PurgeTest, WalkerStaysInsideTheItemAndOffMountsAndOthersFiles) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  WriteFile(home / "outside/keep.txt", "keep");
  WriteFile(q + "/item/ro/f", "x");
  fs::create_symlink(home / "outside", q + "/item/link-to-folder");
  fs::create_symlink(home / "outside/keep.txt", q + "/item/ro/link-to-file");
  WriteFile(q + "/mounted/mnt/data", "x");
  WriteFile(q + "/theirs/root/f", "x");
  fs::create_directories(q + "/bound/mnt");
  const DateTime at = At(2026, 1, 1);
  Journal("2026-11-01T00-00-00", Moved(1, "item", at) + Moved(2, "mounted", at) +
                                     Moved(3, "theirs", at) + Moved(4, "bound", at));
  const test::ForeignIds ids = test::UnusedIds();
  ::chmod(home.Path().c_str(), 0711);
  for (const auto& e : fs::recursive_directory_iterator(home.Path()))
    ASSERT_EQ(::lchown(e.path().c_str(), ids.uid, ids.gid), 0) << e.path();
  for (const char* root_s : {"/theirs/root", "/theirs/root/f"})
    ASSERT_EQ(::chown((q + root_s).c_str(), 0, 0), 0);
  ::chmod((q + "/item/ro").c_str(), 0555);
  const auto as_other = [&](bool bind) -> std::string {
    std::string note;
    if (bind &&
        (::unshare(CLONE_NEWNS) || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) ||
         ::mount((home / "outside").c_str(), (q + "/bound/mnt").c_str(), nullptr, MS_BIND,
                 nullptr)))
      note = std::string("no bind mount here: ") + std::strerror(errno) + "\n";
    if (::setgroups(0, nullptr) || ::setresgid(ids.gid, ids.gid, ids.gid) ||
        ::setresuid(ids.uid, ids.uid, ids.uid))
      note += "not another user\n";
    return note;
  };

  std::string text = PurgeInChild([&] { return as_other(true); });
  const std::string mount = "Not purged, a file system is mounted inside: " + q;
  std::string want = mount + "/mounted\nNot purged, access is denied: " + q + "/theirs\n";
  if (const size_t end = text.find('\n'); text.starts_with("no bind mount here")) {
    std::printf("[  SKIPPED ] %s", text.substr(0, end + 1).c_str());
    text.erase(0, end + 1);
  } else {
    want = mount + "/bound\n" + want;
  }
  EXPECT_EQ(text, want);
  EXPECT_FALSE(fs::exists(fs::symlink_status(q + "/item")));
  EXPECT_EQ(test::ReadFile(home / "outside/keep.txt"), "keep");
  EXPECT_EQ(test::ReadFile(q + "/mounted/mnt/data"), "x");
  ASSERT_EQ(::chown(q.c_str(), 0, 0), 0);
  ::chmod(q.c_str(), 0755);
  EXPECT_EQ(PurgeInChild([&] { return as_other(false); }),
            "Purge refused, " + q + " can be written by others (chmod go-w " + q + ")\n");
}

}  // namespace
}  // namespace kestrel::journal
