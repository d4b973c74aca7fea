#include "journal/purge.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "journal/journal_reader.h"
#include "journal/journal_text.h"
#include "journal/restore.h"
#include "support/engine_fixture.h"
#include "support/fault_sys.h"

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

// Links are removed as links, owned read-only folders emptied, mounts left whole.
TEST_F(PurgeTest, WalkerStaysInsideTheItemAndOffMounts) {
  WriteFile(home / "outside/keep.txt", "keep");
  WriteFile(q + "/item/ro/f", "x");
  fs::create_symlink(home / "outside", q + "/item/link-to-folder");
  fs::create_symlink(home / "outside/keep.txt", q + "/item/ro/link-to-file");
  ::chmod((q + "/item/ro").c_str(), 0555);
  WriteFile(q + "/mounted/mnt/data", "x");
  Journal("2026-11-01T00-00-00",
          Moved(1, "item", At(2026, 1, 1)) + Moved(2, "mounted", At(2026, 1, 1)));

  MountSys sys;
  std::vector<std::string> warnings;
  const PurgeResult result =
      RunPurge(MakeSetup(30, sys), {{}, [&](const std::string& t) { warnings.push_back(t); }, {}});
  EXPECT_EQ(result.items, 1);
  EXPECT_EQ(result.errors, 1);
  EXPECT_EQ(warnings, std::vector<std::string>{"Not purged, a file system is mounted inside: " + q +
                                               "/mounted"});
  EXPECT_FALSE(fs::exists(fs::symlink_status(q + "/item")));
  EXPECT_EQ(test::ReadFile(home / "outside/keep.txt"), "keep");
  EXPECT_EQ(test::ReadFile(q + "/mounted/mnt/data"), "x");
  EXPECT_EQ(std::distance(fs::directory_iterator(q), fs::directory_iterator()), 1);
}

TEST_F(PurgeTest, RefusesFoldersItMustNotEmpty) {
  fs::create_directories(home / "shared");
  ::chmod((home / "shared").c_str(), 0770);
  const std::string parent = fs::path(home.Path()).parent_path();
  const struct {
    std::string folder;
    std::optional<uid_t> uid;
    std::string warning;
  } cases[] = {
      {"/", {}, "Purge refused, / is or holds a home or program folder"},
      {home.Path(), {}, "Purge refused, " + home.Path() + " is or holds a home or program folder"},
      {parent, {}, "Purge refused, " + parent + " is or holds a home or program folder"},
      {home / "shared",
       {},
       "Purge refused, " + home / "shared" + " can be written by others (chmod go-w " +
           home / "shared" + ")"},
      {q, ::getuid() + 1,
       "Purge refused, " + q + " can be written by others (chmod go-w " + q + ")"},
  };
  for (const auto& c : cases) {
    MountSys sys;
    sys.uid = c.uid;
    PurgeSetup setup = MakeSetup(30, sys);
    setup.quarantine = c.folder;
    std::vector<std::string> warnings;
    const PurgeResult result =
        RunPurge(setup, {{}, [&](const std::string& t) { warnings.push_back(t); }, {}});
    EXPECT_TRUE(result.refused) << c.folder;
    EXPECT_EQ(warnings, std::vector<std::string>{c.warning});
  }
}

}  // namespace
}  // namespace kestrel::journal
