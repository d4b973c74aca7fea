#include <grp.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <functional>
#include <map>
#include <set>

#include "app/commands/restore.h"
#include "app/main_routine.h"
#include "crash/crash_sys.h"
#include "journal/journal_reader.h"
#include "journal/journal_text.h"
#include "journal/journal_writer.h"
#include "journal/purge.h"
#include "journal/recovery.h"
#include "journal/restore.h"
#include "support/engine_fixture.h"
#include "support/fault_sys.h"
#include "support/foreign_user.h"
#include "support/second_fs.h"

namespace kestrel::journal {
namespace {

using test::At;
using test::MakeFile;
using test::ReadFile;
using test::WriteFile;
namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

constexpr std::int64_t kDay = 86400;

TEST(JournalText, EscapedNamesRoundTripAsBytes) {
  const struct {
    std::string bytes, text;
  } cases[] = {
      {"plain name.txt", "plain name.txt"},
      {"tab\there", "tab\\there"},
      {"line\nbreak\r", "line\\nbreak\\r"},
      {"back\\slash", "back\\\\slash"},
      {"caf\xc3\xa9", "caf\xc3\xa9"},      // valid UTF-8 stays
      {"bad\xff\xc3(", "bad\\xff\\xc3("},  // invalid bytes are escaped
      {std::string("nul\0x\x7f", 6), "nul\\x00x\\x7f"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Escape(c.bytes), c.text);
    EXPECT_EQ(Unescape(c.text), c.bytes);
  }
  for (const char* bad : {"\\", "\\q", "\\x4", "\\xZZ", "a\tb"})
    EXPECT_EQ(Unescape(bad), std::nullopt) << bad;
}

constexpr const char* kHead = "kestrel-journal\t1\nrun\t2026-12-06T10:00:00\t/h/w.ksp\t/q\n";
constexpr const char* kIntent =
    "intent\t1\t/data/a del-01-01-2020.txt\t5\t100644\t100\t0\t1\t2\t/data\t1\t3\t0\n";
constexpr const char* kHead2 = "kestrel-journal\t2\nrun\t2026-12-06T10:00:00\t/h/w.ksp\t/q\n";
constexpr const char* kIntent2 =
    "intent\t1\t/data/a del-01-01-2020.txt\t5\t100644\t100\t0\tf00000000000000ab\t2\t1000\t100"
    "\t/data\td64\t3\t0\t1000:100:755/0:0:1777\t\n";

// A journal whose moved item is still in the quarantine is kept and not counted; an item is
// its own only with the inode the journal recorded, as a later run may take the name.
TEST(PruneJournals, KeepsTheJournalsOfItemsStillQuarantined) {
  test::TempDir dir;
  const std::string q = dir / "q", folder = dir / "journal";
  WriteFile(q + "/a", "moved by the first run");
  WriteFile(q + "/b", "another run's, under the second run's name");
  struct stat a = {};
  ASSERT_EQ(::stat((q + "/a").c_str(), &a), 0);
  const auto journal = [&](const std::string& name, const std::string& placed, ino_t ino) {
    WriteFile(folder + "/" + name + ".tsv",
              "kestrel-journal\t2\nrun\t2026-12-06T10:00:00\t/h/w.ksp\t" + q + "\n" + kIntent2 +
                  "moved\t1\t2026-12-06T10:00:01\t" + placed + "\t\tf00000000000000ab\t" +
                  std::to_string(ino) + "\n",
              0600);
  };
  journal("2026-12-01T10-00-00", q + "/a", a.st_ino);
  journal("2026-12-02T10-00-00", q + "/b", a.st_ino);  // b is another inode
  journal("2026-12-03T10-00-00", q + "/gone", a.st_ino);
  EXPECT_EQ(PruneJournals(RealSys(), folder, 1), 0);
  EXPECT_EQ(ListRuns(RealSys(), folder), (Strings{"2026-12-01T10-00-00", "2026-12-03T10-00-00"}));
}

TEST(JournalReader, HostileLinesAreReportedAndLeftOut) {
  const std::string moved = "moved\t1\t2026-12-06T10:00:01\t/q/a.txt\t";
  const struct {
    std::string text;
    struct {
      std::vector<int> problem_lines;
      size_t entries;
      State state;
      std::string facts = "";  // of the first entry, when given
    } want;
  } cases[] = {
      // format 1 knew device numbers, which stand as identities of their own
      {kHead + (kIntent + moved) + "\nend\t2026-12-06T10:00:02\n",
       {{}, 1, State::kMoved, "d1 2 0 0  d1 3  0"}},
      // cut short by a crash: the last line has no line break
      {kHead + (kIntent + moved), {{4}, 1, State::kPending}},
      // format 2: identities, owners; a format-1 moved line and a malformed identity
      {kHead2 + (kIntent2 + moved) + "\n" + moved + "\tx1\t9\n" + moved +
           "\tf00000000000000ab\t9\n" + kIntent,
       {{4, 5, 7},
        1,
        State::kMoved,
        "f00000000000000ab 2 1000 100 1000:100:755/0:0:1777 d64 3 f00000000000000ab 9"}},
      {kHead2 + std::string("intent\t1\t/data/a del-01-01-2020.txt\t5\t100644\t100\t0\tf1\t2\t1\t1"
                            "\t/data\td6\t3\t0\t1:1\t\n"),
       {{3}, 0, State::kPending}},
      // a newer format, an unknown line, a path with "..", a relative destination
      {"kestrel-journal\t3\nrun\t2026-12-06T10:00:00\t\t/q\n" +
           (kIntent2 + std::string("rename\t1\n")) +
           "intent\t2\t/data/../etc/passwd\t5\t100644\t100\t0\tf00000000000000ab\t2\t1\t1"
           "\t/data\td6\t3\t0\t\t\nmoved\t1\t2026-12-06T10:00:01\tq/a.txt\t\n",
       {{1, 4, 5, 6}, 1, State::kPending}},
      // outcomes for entries never announced, twice, or out of order
      {kHead + ("moved\t7\t2026-12-06T10:00:01\t/q/a\t\n" + (kIntent + std::string(kIntent))) +
           "restored\t1\t2026-12-06T10:00:01\t/data/a\nmoved\t1\t2026-12-06T10:00:01\t/q/a\t\n"
           "moved\t1\t2026-12-06T10:00:01\t/q/b\t\n",
       {{3, 5, 6, 8}, 1, State::kMoved}},
      {"not a journal\n" + std::string(kIntent), {{1}, 0, State::kPending}},
  };
  for (const auto& c : cases) {
    const RunJournal run = ParseJournal(c.text);
    std::vector<int> lines;
    for (const Problem& p : run.problems) lines.push_back(p.line);
    EXPECT_EQ(lines, c.want.problem_lines) << c.text;
    ASSERT_EQ(run.entries.size(), c.want.entries) << c.text;
    if (c.want.entries == 0) continue;
    const Entry& e = run.entries[0];
    EXPECT_EQ(e.state, c.want.state) << c.text;
    EXPECT_EQ(e.file.original, "/data/a del-01-01-2020.txt");
    const std::string facts =
        e.file.fs + " " + std::to_string(e.file.ino) + " " + std::to_string(e.file.uid) + " " +
        std::to_string(e.file.gid) + " " + e.file.owners + " " + e.include.fs + " " +
        std::to_string(e.include.ino) + " " + e.placed_fs + " " + std::to_string(e.placed_ino);
    EXPECT_EQ(c.want.facts.empty() ? "" : facts, c.want.facts);
  }
}

std::string Xattrs(const std::string& path) {
  std::string names(65536, '\0'), value(65536, '\0'), out;
  names.resize(std::max<ssize_t>(::llistxattr(path.c_str(), names.data(), names.size()), 0));
  std::set<std::string> sorted;
  for (size_t at = 0; at < names.size(); at += std::strlen(names.c_str() + at) + 1)
    sorted.emplace(names.c_str() + at);
  for (const std::string& name : sorted) {
    const ssize_t n = ::lgetxattr(path.c_str(), name.c_str(), value.data(), value.size());
    out += " " + name + "=" + value.substr(0, std::max<ssize_t>(n, 0));
  }
  return out;
}

// Read without touching the access time the snapshot records.
std::string Content(const std::string& path) {
  std::string out(test::LStat(path).st_size, '\0');
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOATIME);
  EXPECT_EQ(::pread(fd, out.data(), out.size(), 0), static_cast<ssize_t>(out.size())) << path;
  ::close(fd);
  return out;
}

std::string Time(const timespec& t) {
  return std::to_string(t.tv_sec) + "." + std::to_string(t.tv_nsec);
}

// Every entry below root: type, mode, owner and extended attributes; for files and links also
// size, both times to the nanosecond and whether it has holes; for files their bytes and which
// names are one file. A folder's stamp changes whenever an entry leaves it or comes back, so
// only a marked folder, which moves whole, is held to its times.
std::map<std::string, std::string> Snapshot(const std::string& root) {
  std::map<std::string, std::string> out;
  std::map<ino_t, std::string> first_name;
  std::set<std::string> paths;  // sorted, so that the first of a file's names is always the same
  for (const auto& e : fs::recursive_directory_iterator(root)) paths.insert(e.path().string());
  for (const std::string& path : paths) {
    const struct stat st = test::LStat(path);
    std::string facts = std::to_string(st.st_mode) + " " + std::to_string(st.st_uid) + ":" +
                        std::to_string(st.st_gid) + Xattrs(path);
    if (!S_ISDIR(st.st_mode) || path.find("del-") != std::string::npos)
      facts += " m" + Time(st.st_mtim);
    if (!S_ISDIR(st.st_mode)) {
      facts += " a" + Time(st.st_atim) + " " + std::to_string(st.st_size) +
               (st.st_blocks * 512 < st.st_size ? " sparse" : "");
    }
    if (S_ISREG(st.st_mode))
      facts += " " + first_name.try_emplace(st.st_ino, path).first->second + " " + Content(path);
    out[path.substr(root.size())] = facts;
  }
  return out;
}

// A run's tree under data, its quarantine q and the journals of its runs.
class JournalTest : public test::EngineTest {
 protected:
  explicit JournalTest(Sys& sys = RealSys()) : test::EngineTest(sys) {
    Cfg().Filename(home / "weekly.ksp");
    Cfg().QuarantineFolder(q);
    Cfg().IncludeFolders().emplace_back(data, true);
    Cfg().LastRunDate(At(2026, 12, 5, 22, 0, 0));
    test::MakeDir(data);
  }
  // With rich, what cp -a keeps beyond those files too: holes, both times, owners, odd modes,
  // user and trusted attributes, an ACL (when the file system takes one), a link with its own
  // times and owner, and hard links inside a marked folder.
  void MakeTree(bool rich = false) {
    MakeFile(data + "/a del-01-01-2020.txt", 10, At(2019, 1, 1));
    WriteFile(data + "/sub/deeper/b del-02-02-2020.doc", "bytes of b", 0640);
    WriteFile(data + "/sub/odd\tname\xff del-03-03-2020", "odd", 0600);
    WriteFile(data + "/keep.txt", "not due");
    for (const char* p : {"/sub/deeper/b del-02-02-2020.doc", "/sub/odd\tname\xff del-03-03-2020"})
      test::SetStamp(data + p, At(2020, 1, 1));
    if (!rich) return;
    const timespec old[2] = {{1500000000, 111}, {1400000000, 222}};
    MakeFile(data + "/sparse del-01-01-2020.img", 8 << 20, At(2019, 1, 1));  // a hole, data, a hole
    std::fstream(data + "/sparse del-01-01-2020.img").seekp(4 << 20) << "data";
    const std::string proj = data + "/proj del-01-01-2020";
    WriteFile(proj + "/one", "hard", 02741);
    fs::create_hard_link(proj + "/one", proj + "/two");
    WriteFile(proj + "/sub/x", "theirs", 0604);
    ASSERT_EQ(::chmod((proj + "/sub").c_str(), 01751), 0);
    WriteFile(data + "/acl del-01-01-2020.txt", "acl", 0640);
    test::MakeLink("a del-01-01-2020.txt", data + "/ln del-01-01-2020");
    ASSERT_EQ(::chmod((data + "/sub/deeper").c_str(), 0710), 0);  // the restore makes it again
    if (::geteuid() == 0) {
      for (const std::string& p : {data + "/sub", proj + "/sub/x", data + "/ln del-01-01-2020"})
        ASSERT_EQ(::lchown(p.c_str(), 1234, 1234), 0) << p;
      ASSERT_EQ(::setxattr((proj + "/two").c_str(), "trusted.k", "root", 4, 0), 0);
    }
    for (const std::string& p : {proj, proj + "/one", proj + "/sub/x"})
      ASSERT_EQ(::setxattr(p.c_str(), "user.note", p.data(), p.size(), 0), 0) << p;
    // user 1234 may read: user_obj rw, user 1234 r, group_obj r, mask r, other none.
    const std::string acl(
        "\2\0\0\0\1\0\6\0\377\377\377\377\2\0\4\0\322\4\0\0\4\0\4\0\377\377\377\377"
        "\20\0\4\0\377\377\377\377\40\0\0\0\377\377\377\377",
        44);
    if (::setxattr((data + "/acl del-01-01-2020.txt").c_str(), "system.posix_acl_access",
                   acl.data(), acl.size(), 0) != 0)
      std::printf("no ACL in the tree: %s\n", std::strerror(errno));
    for (const std::string& p :
         {data + "/sparse del-01-01-2020.img", proj + "/one", proj + "/sub/x", proj + "/sub", proj,
          data + "/acl del-01-01-2020.txt", data + "/ln del-01-01-2020"})
      ASSERT_EQ(::utimensat(AT_FDCWD, p.c_str(), old, AT_SYMLINK_NOFOLLOW), 0) << p;
  }
  RunJournal Last() {
    RunJournal run;
    const auto runs = ListRuns(RealSys(), JournalFolder(fn));
    EXPECT_EQ(runs.empty() ? -1 : ReadJournal(RealSys(), JournalFolder(fn), runs.back(), run), 0);
    return run;
  }
  // Restores the last run; restored and warnings hold what this restore said.
  RestoreResult RestoreLast(const Strings& only = {}, bool rename = false, Sys& sys = RealSys()) {
    restored.clear(), warnings.clear();
    RunJournal run = Last();
    RestoreEvents events;
    events.restored = [&](const Entry&, const std::string& path) { restored.push_back(path); };
    events.warning = [&](const std::string& text) { warnings.push_back(text); };
    return Restore(sys, clock, run, only, {rename}, events);
  }
  // Format 1's intent line of entry n: the file now at path, found at original under data.
  std::string Intent(int n, const std::string& original, const std::string& path, ino_t skew = 0) {
    const struct stat st = test::LStat(path), in = test::LStat(data);
    std::ostringstream line;
    line << "intent\t" << n << "\t" << Escape(original) << "\t" << st.st_size << "\t" << std::oct
         << st.st_mode << std::dec << "\t" << st.st_mtim.tv_sec << "\t" << st.st_mtim.tv_nsec
         << "\t" << st.st_dev << "\t" << st.st_ino + skew << "\t" << data << "\t" << in.st_dev
         << "\t" << in.st_ino << "\t0\n";
    return line.str();
  }
  // A format-1 journal of the run called name, whose quarantine is q.
  void Journal(const std::string& name, const std::string& body) {
    WriteFile(JournalFolder(fn) + "/" + name + ".tsv",
              "kestrel-journal\t1\nrun\t2026-10-01T00:00:00\t\t" + q + "\n" + body, 0600);
  }

  test::TempDir tree;
  std::string data = tree / "data", q = home / "q";
  Strings restored, warnings;
};
using RestoreTest = JournalTest;

// Into a quarantine folder on the same file system, the Trash (whose .trashinfo files go too),
// and a quarantine folder on another file system that takes user attributes.
TEST_F(RestoreTest, RunThenRestoreLeavesTheTreeAsItWas) {
  test::SecondFileSystem other(test::SecondFileSystem::kUserAttributes);
  test::EnvVar xdg("XDG_DATA_HOME", tree / "share");
  fs::create_directories(tree / "share");
  for (const std::string where : {"same", "Trash", "across"}) {
    if (where == "across" && other.Path().empty()) GTEST_SKIP() << other.Why();
    SCOPED_TRACE(where);
    const std::string quarantine = where == "Trash" ? "" : where == "across" ? other / "q" : q;
    const std::string landed = quarantine.empty() ? tree / "share/Trash/files" : quarantine;
    Cfg().QuarantineFolder(quarantine);
    fs::remove_all(data);
    MakeTree(true);
    const auto before = Snapshot(data);
    clock.Advance(60);
    Cfg().LastRunDate(clock.Now().AddSeconds(-30));
    ASSERT_TRUE(CleanUp(fn.World(), Cfg()));
    ASSERT_EQ(test::Names(landed).size(), 7u);
    EXPECT_EQ(fn.WarningRpt->Warnings(), Strings{});
    Fd folder;  // the purge knows each item by the identity its moved line recorded
    if (!quarantine.empty() && OpenQuarantine(RealSys(), quarantine, folder) == 0) {
      const PurgePlan plan =
          PlanPurge({RealSys(), clock, quarantine, JournalFolder(fn), 1, {}}, folder.Get());
      EXPECT_EQ(std::make_pair(plan.later.size(), plan.unknown), std::make_pair(size_t{7}, 0));
    }
    // The restore makes the folders again; on one file system, a restore that put b back and
    // died before its journal lines were written counts it as restored.
    if (where == "same")
      fs::rename(landed + "/b del-02-02-2020.doc", data + "/sub/deeper/b del-02-02-2020.doc");
    else
      fs::remove_all(data + "/sub");
    // A copy back that fails keeps its source.
    for (const int err :
         where == "across" ? std::vector<int>{ENOSPC, EACCES, EINTR} : std::vector<int>{}) {
      test::FaultSys faults;
      faults.Fail(test::Op::kWrite, err);
      EXPECT_EQ(RestoreLast({data + "/sub/deeper/b del-02-02-2020.doc"}, false, faults).failed, 1)
          << err;
      EXPECT_EQ(test::Names(landed).size(), 7u) << err;
    }
    const RestoreResult r = RestoreLast();
    const int back = where == "same" ? 6 : 7;
    EXPECT_EQ(std::make_tuple(r.restored, r.failed, static_cast<int>(restored.size())),
              std::make_tuple(back, 0, back));
    EXPECT_EQ(warnings, Strings{});
    EXPECT_EQ(Snapshot(data), before);
    EXPECT_EQ(test::Names(landed), Strings{});
    EXPECT_EQ(test::Names(tree / "share/Trash/info"), Strings{});
    EXPECT_EQ(RestoreLast().restored, 0);  // a second restore finds nothing left to do
    for (const Entry& e : Last().entries) EXPECT_EQ(e.state, State::kRestored) << e.file.original;
  }
}

// A disk plugged in again comes back on another device number with its file system's identity:
// the restore takes it for the disk the run saw, the include folder and the quarantine on it,
// and refuses another disk (or, without one, another folder) at that path.
TEST_F(RestoreTest, RestoresFromADiskPluggedInAgainAndRefusesAnother) {
  test::SecondFileSystem disk(test::SecondFileSystem::kDisk);
  test::FaultSys replug;  // without a disk, the calls play it
  const std::string top = disk.Path().empty() ? tree / "disk" : disk.Path();
  if (disk.Path().empty()) std::printf("no disk, the calls play it: %s\n", disk.Why().c_str());
  data = top + "/data";
  Cfg().IncludeFolders() = {Folder2Clean(data, true)};
  MakeTree(true);
  for (const bool another : {false, true}) {
    SCOPED_TRACE(another ? "another disk" : "the same disk");
    Cfg().QuarantineFolder(another ? q : top + "/q");  // on the disk, it would go with it
    const auto before = Snapshot(data);
    clock.Advance(60);
    ASSERT_TRUE(CleanUp(fn.World(), Cfg()));
    if (const dev_t was = test::LStat(top).st_dev; !disk.Path().empty()) {
      ASSERT_EQ(disk.Remount(another), "");
      if (test::LStat(top).st_dev == was) std::printf("the kernel gave the same device number\n");
    } else {
      ++replug.moved_devices;
      if (another) fs::rename(data, tree / "gone");  // a new folder in its place
    }
    fs::create_directories(data);
    const RestoreResult r = RestoreLast({}, false, replug);
    EXPECT_EQ(std::make_pair(r.restored, r.failed), another ? std::pair(0, 7) : std::pair(7, 0));
    for (const std::string& w : warnings)
      EXPECT_EQ(w.rfind("Not restored, the include folder " + data + " is not the one", 0), 0u);
    EXPECT_EQ(Snapshot(data), another ? decltype(before){} : before);
    EXPECT_EQ(test::Names(Cfg().QuarantineFolder()).size(), another ? 7u : 0u);
  }
}

TEST_F(RestoreTest, RefusesWhatTheJournalDoesNotVouchFor) {
  MakeTree();
  ASSERT_TRUE(CleanUp(fn.World(), Cfg()));
  const std::string a = data + "/a del-01-01-2020.txt";
  const std::string b = data + "/sub/deeper/b del-02-02-2020.doc";
  const std::string odd = data + "/sub/odd\tname\xff del-03-03-2020";
  const std::string odd_shown = data + "/sub/odd\\tname\xff del-03-03-2020";  // as warnings show it
  // The quarantined a swapped for another file with its size and stamp (format 2 compares the
  // inode and owner too), or a hand-edited journal pointing a at such a file outside it.
  const std::string qa = q + "/a del-01-01-2020.txt";
  fs::rename(qa, tree / "kept");
  MakeFile(qa, 10, At(2019, 1, 1));
  EXPECT_EQ(RestoreLast({a}).restored, 0);
  EXPECT_EQ(warnings, Strings{"Not restored, changed since it was moved (" + qa + "): " + a});
  fs::rename(tree / "kept", qa);
  MakeFile(tree / "secret", 10, At(2019, 1, 1));
  const std::string journal = ReadFile(Last().path);
  WriteFile(Last().path,
            std::string(journal).replace(journal.find(qa), qa.size(), tree / "secret"));
  EXPECT_EQ(RestoreLast({a}).restored, 0);
  EXPECT_EQ(warnings,
            Strings{"Not restored, the journal's record of where it went does not hold: " + a});
  EXPECT_TRUE(fs::exists(tree / "secret"));
  WriteFile(Last().path, journal, 0600);
  WriteFile(a, "taken");                          // the original path is taken
  fs::rename(data + "/sub", tree / "elsewhere");  // a link now stands where a folder was
  test::MakeLink(tree / "elsewhere", data + "/sub");
  const RestoreResult r = RestoreLast();
  EXPECT_EQ(std::make_pair(r.restored, r.failed), std::make_pair(0, 3));
  std::sort(warnings.begin(), warnings.end());
  EXPECT_EQ(warnings, (Strings{"Not restored, a link or file stands in the way: " + b,
                               "Not restored, a link or file stands in the way: " + odd_shown,
                               "Not restored, the original path is taken: " + a}));
  EXPECT_EQ(test::Names(tree / "elsewhere/deeper"), Strings{});
  EXPECT_EQ(test::Names(q).size(), 3u);

  // With --rename the taken name gives way to a free one; the link still blocks the rest.
  EXPECT_EQ(RestoreLast({a}, true).restored, 1);
  EXPECT_EQ(restored, Strings{data + "/a del-01-01-2020 (2).txt"});
  EXPECT_EQ(ReadFile(a), "taken");

  // A file gone from the quarantine, or an include folder that is another folder now.
  fs::remove(data + "/sub");
  fs::rename(tree / "elsewhere", data + "/sub");
  fs::remove(q + "/b del-02-02-2020.doc");
  EXPECT_EQ(RestoreLast({b, data + "/never.txt"}).failed, 2);
  EXPECT_EQ(warnings,
            (Strings{"Not restored, no longer where the journal says (" + q +
                         "/b del-02-02-2020.doc): " + b,
                     "Not in the journal of run " + Last().name + ": " + data + "/never.txt"}));
  fs::rename(data, tree / "old-data");
  fs::create_directories(data);
  EXPECT_EQ(RestoreLast({odd}).failed, 1);
  EXPECT_EQ(warnings, Strings{"Not restored, the include folder " + data +
                              " is not the one the run found it under: " + odd_shown});
}

TEST_F(RestoreTest, RestoreCommandLinesAndExitStatuses) {
  MakeFile(data + "/a del-01-01-2020.txt", 10, At(2019, 1, 1));
  MakeFile(data + "/b del-01-01-2030.txt", 10, At(2019, 1, 1));
  ASSERT_TRUE(Cfg().Save());  // restore reads the prefix token from the run's configuration
  Cfg().LastRunDate(At(2026, 12, 5));
  ASSERT_TRUE(CleanUp(fn.World(), Cfg()));  // only a is due
  const std::string a = data + "/a del-01-01-2020.txt";
  const std::string first = Last().name;
  // A journal of a run whose every move failed, kept by an older Kestrel, is passed over.
  Journal("2026-12-08T00-00-00",
          kIntent + std::string("failed\t1\t2026-12-06T10:00:01\t13\nend\t2026-12-06T10:00:02\n"));
  Strings lines;
  const auto restore = [&](const RestoreRequest& request) {
    lines.clear();
    return RestoreFiles(fn, request, [&](const RestoreNote& note) { lines.push_back(note.line); });
  };
  const struct {
    RestoreRequest request;
    int status;
    Strings lines;
  } cases[] = {
      {{"nope", {}, false, false}, 2, {"[Warning] No journaled run is called nope"}},
      {{"last", {}, false, false},
       0,
       {"[Run] " + first, "[Restored] " + a,
        "[Reminder] Its removal date has passed, so the next run moves it again: " + a}},
      {{"last", {}, false, false}, 0, {"[Run] " + first, "[Message] Nothing is left to restore"}},
      {{"last", {data + "/b del-01-01-2030.txt"}, false, false},
       1,
       {"[Run] " + first,
        "[Warning] Not in the journal of run " + first + ": " + data + "/b del-01-01-2030.txt"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(restore(c.request), c.status) << c.request.run;
    EXPECT_EQ(lines, c.lines);
  }
  // The restored file was due again; with unmark it comes back without its date.
  clock.Advance(60);
  ASSERT_TRUE(CleanUp(fn.World(), Cfg()));
  EXPECT_EQ(restore({"last", {}, false, true}), 0);
  EXPECT_EQ(lines, (Strings{"[Run] " + RunNameFor(clock.Now()), "[Restored] " + a,
                            "[Unmarked] " + data + "/a.txt"}));
  fs::remove_all(JournalFolder(fn));
  EXPECT_EQ(restore({"last", {}, false, false}), 0);
  EXPECT_EQ(lines, Strings{"[Message] Nothing is left to restore"});
}

// A format-1 journal cut short after the intent of its only file, then what the disk held
// when the run died; recovery settles it once. The crash harness tries every other state.
TEST_F(RestoreTest, RecoveryFinishesWhatACrashLeft) {
  const std::string a = data + "/a del-01-01-2020.txt", qa = q + "/a del-01-01-2020.txt";
  const auto copy = [&](const char* text) {
    WriteFile(qa, text), test::SetStamp(qa, At(2019, 1, 1));
  };
  crash::ExdevSys across(RealSys(), q);  // the quarantine a mount of its own: a move copies
  const struct {
    const char* what;
    std::function<void()> crash;
    bool data_has_it, q_has_it;
    State state;
    Sys& sys = RealSys();
  } cases[] = {
      {"a whole copy beside its source, and a partial one",
       [&] { copy("whole"), WriteFile(q + "/.kestrel-abc123", "par"); }, false, true, State::kMoved,
       across},
      // A rename never copies, so a file with its bytes is another move's: its source stays.
      {"a file with its bytes on the source's own mount", [&] { copy("whole"); }, true, true,
       State::kFailed},
      {"a copy that differs is not the file", [&] { copy("other"); }, true, true, State::kFailed,
       across},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    for (const std::string& gone : {JournalFolder(fn), data, q}) fs::remove_all(gone);
    fs::create_directories(q);
    WriteFile(a, "whole"), test::SetStamp(a, At(2019, 1, 1));
    Journal("2026-12-06T09-00-00", Intent(1, a, a) + "mov");
    c.crash();
    EXPECT_EQ(Recover(c.sys, clock, JournalFolder(fn), [](const std::string&) {}), 1);
    EXPECT_EQ(std::make_pair(fs::exists(a), fs::exists(qa)),
              std::make_pair(c.data_has_it, c.q_has_it));
    EXPECT_EQ(test::Names(q).size(), c.q_has_it ? 1u : 0u);  // no temporary left
    if (c.state == State::kFailed) {  // a run that moved nothing keeps no journal
      EXPECT_EQ(ListRuns(RealSys(), JournalFolder(fn)), Strings{});
      continue;
    }
    RunJournal run = Last();
    ASSERT_EQ(run.entries.size(), 1u);
    EXPECT_EQ(std::make_tuple(run.entries[0].state, run.ended, run.problems.size()),
              std::make_tuple(c.state, true, size_t{1}));  // the problem: the line cut short
    EXPECT_EQ(Recover(RealSys(), clock, JournalFolder(fn), [](const std::string&) {}), 0);
    EXPECT_EQ(RestoreLast().restored, 1);
    EXPECT_EQ(ReadFile(a), "whole");
  }
}

// Reports every entry named "mnt" as lying on another mount.
class MountSys : public test::FaultSys {
 public:
  int StatX(int dirfd, const char* path, int flags, unsigned mask, struct statx* out) override {
    const int rc = FaultSys::StatX(dirfd, path, flags, mask, out);
    const std::string name =  // an empty path is the folder dirfd holds
        *path != '\0' ? path : fs::read_symlink("/proc/self/fd/" + std::to_string(dirfd)).string();
    if (rc == 0 && (name == "mnt" || name.ends_with("/mnt"))) out->stx_mnt_id += 1000;
    return rc;
  }
};

class PurgeTest : public JournalTest {
 protected:
  PurgeTest() { test::MakeDir(q, 0700); }
  PurgeSetup MakeSetup(int days = 30, Sys& sys = RealSys()) {
    return {sys, clock, q, JournalFolder(fn), days, {home.Path()}};
  }
  // The intent and moved lines of entry n: q/name, moved at, recorded with its inode plus skew.
  std::string Moved(int n, const std::string& name, DateTime at, ino_t skew = 0) {
    return Intent(n, data + "/" + name, q + "/" + name, skew) + "moved\t" + std::to_string(n) +
           "\t" + IsoText(at) + "\t" + q + "/" + name + "\t\n";
  }
  // The warnings of a purge in a forked child, after what enter returns (it makes a
  // namespace, becomes another user).
  std::string PurgeInChild(const std::function<std::string()>& enter) {
    const std::string out = tree / "purge.txt";
    if (const pid_t pid = ::fork(); pid != 0) {
      ::waitpid(pid, nullptr, 0);
      return ReadFile(out);
    }
    std::ofstream file(out);  // opened before the child becomes another user
    std::string text = enter();
    MountSys sys;
    RunPurge(MakeSetup(30, sys), {{}, [&](const std::string& t) { text += t + "\n"; }, {}});
    file << text << std::flush;
    ::_exit(0);
  }
  static Strings Names(const std::vector<PurgeItem>& items) {
    Strings out;
    for (const PurgeItem& i : items) out.push_back(i.name);
    return out;
  }
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
  Journal("2026-10-01T00-00-00", Moved(1, "again", now.AddSeconds(-60 * kDay)) +
                                     "restoring\t1\t2026-10-02T00:00:00\n" +
                                     "restored\t1\t2026-10-02T00:00:00\t" + data + "/again\n");
  Journal("2026-11-01T00-00-00", body + Moved(++n, "again", now.AddSeconds(-10 * kDay)));

  Fd folder;
  ASSERT_EQ(OpenQuarantine(RealSys(), q, folder), 0);
  const PurgePlan plan = PlanPurge(MakeSetup(), folder.Get());
  EXPECT_EQ(Names(plan.due), (Strings{"at the boundary", "folder due"}));
  EXPECT_EQ(Names(plan.later), (Strings{"a second short", "again", "moved in the future"}));
  EXPECT_EQ(std::make_tuple(plan.unknown, plan.due.at(1).size, plan.due.at(0).since,
                            plan.later.at(1).since),
            std::make_tuple(2, 8, now.AddSeconds(-30 * kDay), now.AddSeconds(-10 * kDay)));
  EXPECT_TRUE(PlanPurge(MakeSetup(0), folder.Get()).due.empty());

  Strings purged;
  const PurgeResult result =
      RunPurge(MakeSetup(), {[&](const PurgeItem& i) { purged.push_back(i.name); },
                             [&](const std::string& t) { warnings.push_back(t); },
                             {}});
  EXPECT_EQ(purged, Names(plan.due));
  EXPECT_EQ(std::make_tuple(result.items, result.bytes, result.errors),
            std::make_tuple(2, 7 + 8, 0));
  EXPECT_EQ(warnings, Strings{"2 items in " + q + " are in no journal; left"});
  EXPECT_EQ(test::Names(q), (Strings{"a second short", "again", "another inode",
                                     "moved in the future", "no journal"}));

  RestoreLast({data + "/at the boundary"});
  EXPECT_EQ(warnings, Strings{"Not restored, purged on 2026-12-06: " + data + "/at the boundary"});
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
    warnings.clear();
    const PurgeResult result =
        RunPurge(setup, {{}, [&](const std::string& t) { warnings.push_back(t); }, {}});
    EXPECT_TRUE(result.refused) << folder;
    EXPECT_EQ(warnings, Strings{"Purge refused, " + folder +
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

// Raises signal (0: none) at the second step that changes a due file: a rename, a link of its
// copy, the removal of its source. That every move is on record before it happens, whatever
// stops the run, the crash harness shows.
class OrderSys : public test::FaultSys {
 public:
  int steps = 0, signal = 0;
  bool bind_mount = false;  // renames of due files say EXDEV

  int RenameAt2(int od, const char* op, int nd, const char* np, unsigned int f) override {
    Step(op);
    if (bind_mount && std::string(op).find("del-") != std::string::npos) return errno = EXDEV, -1;
    return FaultSys::RenameAt2(od, op, nd, np, f);
  }
  int LinkAt(int od, const char* op, int nd, const char* np, int f) override {
    Step(np);
    return FaultSys::LinkAt(od, op, nd, np, f);
  }
  int UnlinkAt(int d, const char* p, int f) override {
    Step(p);
    return FaultSys::UnlinkAt(d, p, f);
  }

 private:
  void Step(const char* name) {
    if (std::string(name).find("del-") != std::string::npos && ++steps == 2)
      ::kill(::getpid(), signal);
  }
};

class DurabilityTest : public JournalTest {
 protected:
  DurabilityTest() : JournalTest(sys) {}
  // Outcomes by kind: "moved", "failed 125", ...; "pending" for an intent without one. None
  // without a journal (a run that moved nothing keeps none).
  std::map<std::string, int> Outcomes() {
    const auto runs = ListRuns(RealSys(), JournalFolder(fn));
    EXPECT_LE(runs.size(), 1u);
    if (runs.empty()) return {};
    const RunJournal run = Last();
    EXPECT_EQ(std::make_pair(run.ended, run.version), std::make_pair(true, 2));
    std::map<std::string, int> out;
    for (const Entry& e : run.entries)
      ++out[e.state == State::kMoved    ? std::string("moved")
            : e.state == State::kFailed ? "failed " + std::to_string(e.error)
                                        : "pending"];
    return out;
  }

  inline static OrderSys sys;
};

// Each row is a silent run in a child. A signal raised at the second step that changes a due
// file stops the run once that file is moved, with its warning before the summary and exit
// status 1.
TEST_F(DurabilityTest, OutcomesOfEachRunAndASignalStopsTheRun) {
  const std::map<std::string, int> two = {{"moved", 2}, {"failed 125", 3}};
  const struct {
    const char* name;
    bool bind_mount;  // the rename says EXDEV on one file system
    std::uint64_t free_blocks;
    int max_mb, signal;
    std::map<std::string, int> outcomes;
  } cases[] = {
      {"renames", false, 0, 100, 0, {{"moved", 5}}},
      {"MB limit", false, 0, 2, 0, two},
      {"copies on a bind mount", true, 0, 100, 0, {{"moved", 5}}},
      {"no room on a bind mount", true, 10, 100, 0, {}},
      {"SIGTERM", false, 0, 100, SIGTERM, two},
      {"SIGINT", false, 0, 100, SIGINT, two},
      {"SIGHUP amid copies", true, 0, 100, SIGHUP, two},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    for (const std::string& gone : {data, q, JournalFolder(fn)}) fs::remove_all(gone);
    for (int i = 0; i < 5; ++i)  // five due files of 1 MB
      MakeFile(data + "/f" + std::to_string(i) + " del-01-01-2020.bin", 1000000, At(2019, 1, 1));
    Cfg().LastRunDate(At(2026, 12, 5, 22, 0, 0));  // the run before wrote its own back
    Cfg().MaxMBPerRun(c.max_mb);
    ASSERT_TRUE(Cfg().Save());
    const pid_t child = ::fork();
    if (child == 0) {  // the double's state is the child's alone
      sys.bind_mount = c.bind_mount, sys.signal = c.signal;
      if (c.free_blocks != 0) sys.space = {c.free_blocks, 4096};
      (void)!std::freopen("/dev/null", "w", stdout);
      _exit(Main(fn, {"-s:" + Cfg().Filename()}, [](Functions&) { return 2; }));
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), c.signal != 0 ? 1 : 0);
    EXPECT_EQ(Outcomes(), c.outcomes);
    const int moved = c.outcomes.count("moved") != 0 ? c.outcomes.at("moved") : 0;
    EXPECT_EQ(test::Names(q).size(), static_cast<size_t>(moved));
    EXPECT_EQ(test::Names(data).size(), static_cast<size_t>(5 - moved));
    const std::string log = LogText();
    const std::string stop = "Run stopped by a signal (SIG" +
                             std::string(c.signal != 0 ? sigabbrev_np(c.signal) : "") + ")";
    EXPECT_LT(c.signal != 0 ? log.find(stop) : 0,
              log.find("Files moved or deleted: " + std::to_string(moved)))
        << log;
  }
}

}  // namespace
}  // namespace kestrel::journal
