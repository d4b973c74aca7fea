// Cuts off each operation that changes the user's files before every call it makes through
// the file-system seam, then checks the files, runs what the user would run next, and checks
// again. Prints the crash points tried per operation; fails on any broken invariant.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "app/commands/commands.h"
#include "app/functions.h"
#include "app/main_routine.h"
#include "config/kestrel_cfg.h"
#include "crash_sys.h"
#include "fs/names.h"
#include "journal/journal_reader.h"
#include "journal/journal_writer.h"
#include "platform/clock.h"
#include "support/doubles.h"
#include "support/second_fs.h"

namespace kestrel::crash {
namespace {

namespace fs = std::filesystem;
using Files = std::map<std::string, std::string>;  // path below an entry ("" itself): bytes
using Strings = std::vector<std::string>;

// One operation to cut off at every call it makes through the seam. Each step starts from the
// tree setup builds; run is the operation, recover what a user's next run or save does, undo
// (when there is one) what takes the operation back; check returns what breaks the invariants
// ("" when they hold) after each; done what the whole operation, not cut off, failed to do.
// attack is what someone else does to the tree between the crash and the recovery.
using Step = std::function<void(Sys&)>;
enum Phase { kCut, kRecovered, kUndone };
struct Operation {
  std::string name;
  std::reference_wrapper<Sys> sys;
  std::function<void()> setup;
  Step run, recover;
  std::function<std::string(Phase)> check;
  std::function<std::string()> done;
  Step undo = {};
  std::function<void()> attack = {};
};

// ---- the tree ----

// The disk of every operation and its recovery.
Sys& Disk() {
  static NoSyncSys disk(RealSys());
  return disk;
}

std::string root, home, src, quarantine, other_fs;

const DateTime kOpTime = *DateTime::FromCivil(2026, 12, 6, 10, 0, 0);
const DateTime kNextRun = *DateTime::FromCivil(2026, 12, 6, 11, 0, 0);
const DateTime kOldRun = *DateTime::FromCivil(2026, 12, 5, 22, 0, 0);

// Last written long before its removal date, so that it is due.
void SetOld(const std::string& path) {
  const timespec times[2] = {{1546300800, 0}, {1546300800, 0}};  // 2019-01-01
  utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

void Write(const std::string& path, const std::string& text, bool old = false) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << text;
  if (old) SetOld(path);
}

std::optional<std::string> Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Text whose every stretch differs, so that a copy cut short or shifted never passes as whole.
std::string Content(size_t size, char seed) {
  std::string s(size, '\0');
  std::uint32_t x = static_cast<unsigned char>(seed) * 2654435761u + 1;
  for (char& c : s) c = static_cast<char>((x = x * 1103515245u + 12345u) >> 24);
  return s;
}

// The first of Kestrel's temporaries (hidden ".kestrel-..." names) left in either tree, or "".
std::string Temporary() {
  for (const std::string& folder : {root, other_fs}) {
    std::error_code ec;
    for (const auto& e : fs::recursive_directory_iterator(folder, ec))
      if (e.path().filename().string().starts_with(".kestrel-")) return e.path();
  }
  return "";
}

// Both trees empty but for the quarantine folders, home and src.
void Fresh() {
  for (const std::string& tree : {root, other_fs})
    if (!tree.empty()) fs::remove_all(tree + "/t"), fs::create_directories(tree + "/t/q");
  for (const std::string& f : {home, src}) fs::create_directories(f);
}

void WriteConfig(const std::string& quarantine_folder, const std::string& extra = "") {
  Write(home + "/weekly.ksp",
        "[General]\nVersion=2026.12.0\nRunDate=" + kOldRun.ToIsoText() +
            "\n[Options]\nName=ann\nPrefixToken=del-\nQuarantineFolder=" + quarantine_folder +
            "\nMaxMB2Remove=50\n" + extra + "[Include]\nIncludeFoldersCount=1\nFolder001=" + src +
            "\nIncludeSubs001=True\n");
}

// ---- the program ----

// Runs body in a child; returns its exit status (-1 when it did not exit).
int InChild(const std::function<int()>& body) {
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) _exit(body());
  int status = 0;
  return waitpid(pid, &status, 0) == pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// `kestrel` at the given time, its output aside (a child's output would only bury the
// harness's own): a silent run of weekly.ksp, or the long command line args.
void Kestrel(Sys& sys, DateTime now, const Strings& args = {}) {
  if (!std::freopen("/dev/null", "w", stdout) || !std::freopen("/dev/null", "w", stderr))
    std::abort();
  test::FakeClock clock(now);
  test::RecordingReporter reporter;
  Functions fn(Outside{clock, reporter, sys, home});
  args.empty() ? Main(fn, {"-s:weekly.ksp"}, [](Functions&) { return kExitBadInput; })
               : RunLongCommandLine(fn, args, Commands());
}

// ---- moves ----

// Whether a journal's intent or moved line names the entry name of folder.
bool Journaled(const std::string& folder, const std::string& name) {
  const std::string journals = home + "/journal";
  for (const std::string& run : journal::ListRuns(RealSys(), journals)) {
    journal::RunJournal j;
    journal::ReadJournal(RealSys(), journals, run, j);
    for (const journal::Entry& e : j.entries) {
      if (e.placed == folder + "/" + name) return true;
      for (int n = 1; n < 10; ++n)
        if (NumberedName(fs::path(e.file.original).filename().string(), n) == name) return true;
    }
  }
  return false;
}

// What a move keeps of each entry below path besides its bytes: mode, link target, the
// attribute user.k, holes, and which names are one file.
std::string Kept(const std::string& path) {
  std::set<std::string> rels = {""};
  std::error_code ec;
  for (const auto& e : fs::recursive_directory_iterator(path, ec))
    rels.insert(e.path().string().substr(path.size()));
  std::map<ino_t, std::string> first;
  std::string out;
  for (const std::string& rel : rels) {
    struct stat st;
    char value[64] = "";
    if (lstat((path + rel).c_str(), &st) != 0) return "gone: " + rel;
    lgetxattr((path + rel).c_str(), "user.k", value, sizeof value - 1);
    out += rel + " " + std::to_string(st.st_mode) + " " + value;
    if (S_ISLNK(st.st_mode)) out += " -> " + fs::read_symlink(path + rel).string();
    if (S_ISREG(st.st_mode))
      out += " " + first.try_emplace(st.st_ino, rel).first->second +
             (st.st_blocks * 512 < st.st_size ? " sparse" : "");
    out += "\n";
  }
  return out;
}

// A moved entry: from where, into which folder, what it holds (kept: what Kept said of it
// before the move); for the Trash, info is its info folder, whose .trashinfo files must name
// path_field.
struct Moved {
  std::string from, into, info, path_field;
  Files files;
  std::shared_ptr<std::string> kept = std::make_shared<std::string>();
};

// Every file of the entry is whole at its source or under a visible entry of the destination
// (hidden ones are temporaries), which a journal names; after the recovery in one place only,
// its properties kept, and no .trashinfo without its entry; after the undo only at its source.
std::string CheckMove(const Moved& m, Phase phase) {
  std::map<std::string, int> whole;
  Strings places;
  for (const auto& [rel, text] : m.files) {
    const auto at = Read(m.from + rel);
    if (at && *at != text) return "the source of " + m.from + rel + " changed";
    whole[rel] = at ? 1 : 0;
  }
  if (fs::exists(fs::symlink_status(m.from))) places.push_back(m.from);
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(m.into, ec)) {
    const std::string name = e.path().filename();
    if (name.front() == '.') continue;
    if (phase == kUndone) return "not restored: " + e.path().string();
    if (!Journaled(m.into, name)) return "named by no journal: " + e.path().string();
    for (const auto& [rel, text] : m.files) {
      const auto copy = Read(e.path().string() + rel);
      if (!copy || *copy != text) return "incomplete copy visible: " + e.path().string() + rel;
      ++whole[rel];
    }
    places.push_back(e.path());
    if (m.info.empty()) continue;
    const std::string trash_info = Read(m.info + "/" + name + ".trashinfo").value_or("");
    if (trash_info.find("\nPath=" + m.path_field + "\n") == std::string::npos)
      return "no whole .trashinfo for the trashed " + name;
  }
  for (const auto& [rel, n] : whole) {
    if (n == 0) return "lost: " + m.from + rel;
    if (phase != kCut && n > 1) return std::to_string(n) + " whole copies of " + m.from + rel;
  }
  if (phase == kCut) return "";
  for (const std::string& place : places)
    if (Kept(place) != *m.kept) return "not kept: " + place + "\n" + Kept(place);
  for (const auto& e : fs::directory_iterator(m.info, ec)) {  // none when info is ""
    const std::string name = e.path().filename();
    if (!fs::exists(fs::symlink_status(m.into + "/" + name.substr(0, name.size() - 10))))
      return ".trashinfo without a file: " + name;
  }
  return "";
}

// A silent run that moves entry (a file, or a folder of files) from src to dest, the Trash when
// dest is ""; or, with restore, that run made beforehand and its restore the operation. The
// undo is `kestrel --restore last`; dress gives the entry what else it should keep.
Operation Move(const std::string& name, Sys& sys, const std::string& dest, const std::string& entry,
               const Files& files, bool restore = false,
               const std::function<void(const std::string&)>& dress = {}) {
  const std::string trash = home + "/.local/share/Trash";
  Moved m{src + "/" + entry, dest.empty() ? trash + "/files" : dest,
          dest.empty() ? trash + "/info" : "", src + "/" + entry, files};
  for (size_t at; (at = m.path_field.find(' ')) != std::string::npos;)
    m.path_field.replace(at, 1, "%20");
  const DateTime at = restore ? kNextRun : kOpTime;
  const Strings args = restore ? Strings{"--restore", "last"} : Strings{};
  return Operation{
      name,
      sys,
      [=, &sys] {
        Fresh();
        WriteConfig(dest);
        for (const auto& [rel, text] : files) Write(m.from + rel, text, true);
        if (dress) dress(m.from);
        SetOld(m.from);
        *m.kept = Kept(m.from);
        if (restore) InChild([&] { return Kestrel(sys, kOpTime), 0; });
      },
      [=](Sys& s) { Kestrel(s, at, args); },
      [=](Sys& s) { Kestrel(s, at.AddSeconds(3600)); },
      [=](Phase phase) { return CheckMove(m, phase); },
      [=] { return fs::exists(m.from) == restore ? "" : "not done: " + m.from; },
      [=](Sys& s) {
        Kestrel(s, at.AddSeconds(7200), {"--restore", "last"});
      },
  };
}

// Gives a folder what a copy must keep: a hole, odd modes, an attribute, a link, two names of
// one file.
void Dress(const std::string& folder) {
  const std::string sparse = folder + "/sparse", one = folder + "/sub/one";
  (void)!truncate(sparse.c_str(), 5000), (void)!truncate(sparse.c_str(), 3 << 20);
  setxattr(sparse.c_str(), "user.k", "v", 1, 0);
  fs::create_symlink("sparse", folder + "/link");
  fs::remove(folder + "/two");
  fs::create_hard_link(one, folder + "/two");
  chmod(one.c_str(), 0604);
  chmod((folder + "/sub").c_str(), 0751);
}

// Between the crash and the recovery, sub, the folder of the moved file, is swapped for a link
// to a decoy holding a file like it, which neither the recovery nor the undo may touch.
Operation SwappedFolder(const std::string& name, Sys& sys, const std::string& dest,
                        const std::string& file, const std::string& bytes) {
  Operation op = Move(name, sys, dest, "sub/" + file, {{"", bytes}});
  const std::string away = root + "/t/away", decoy = root + "/t/decoy/" + file;
  op.attack = [=] {
    fs::rename(src + "/sub", away);
    Write(decoy, bytes, true);
    fs::create_symlink(root + "/t/decoy", src + "/sub");
  };
  const Moved m{away + "/" + file, dest, "", "", {{"", bytes}}};
  op.check = [=, check = op.check](Phase phase) -> std::string {
    if (!fs::is_symlink(src + "/sub")) return check(phase);
    return Read(decoy) != bytes ? "the decoy changed" : CheckMove(m, kCut);
  };
  return op;
}

// ---- purging the quarantine ----

// A folder moved into the quarantine by a run, purged 31 days later; beside it a file no
// journal knows, and a link inside it to a file outside.
Operation PurgeOfAFolder() {
  const std::string item = quarantine + "/project del-01-01-2020";
  const std::string stranger = quarantine + "/stranger.txt";
  const Strings purge = {"--purge", "weekly.ksp"};
  return Operation{
      "purge of a quarantined folder",
      Disk(),
      [=] {
        Fresh();
        WriteConfig(quarantine, "PurgeAfterDays=30\n");
        Write(src + "/project del-01-01-2020/a.txt", Content(5000, 'a'), true);
        Write(src + "/project del-01-01-2020/sub/b.bin", Content(70000, 'b'), true);
        Write(src + "/keep.txt", "keep");
        fs::create_symlink(src + "/keep.txt", src + "/project del-01-01-2020/sub/link");
        SetOld(src + "/project del-01-01-2020");
        InChild([] { return Kestrel(Disk(), kOpTime), 0; });
        Write(stranger, "not Kestrel's");
        fs::permissions(item + "/sub", fs::perms::owner_read | fs::perms::owner_exec);
      },
      [=](Sys& s) { Kestrel(s, kOpTime.AddDays(31), purge); },
      [=](Sys& s) { Kestrel(s, kOpTime.AddDays(31).AddSeconds(3600), purge); },
      [=](Phase phase) -> std::string {
        if (Read(src + "/keep.txt") != "keep" || Read(stranger) != "not Kestrel's")
          return "something outside the purged item changed";
        return phase != kCut && fs::exists(fs::symlink_status(item)) ? "not purged: " + item : "";
      },
      [=] { return fs::exists(fs::symlink_status(item)) ? "not purged: " + item : ""; },
  };
}

// ---- the configuration file ----

// Saves the configuration in home with 1,000 include folders named after tag, or with date
// loads it and writes back RunDate.
void SaveConfig(Sys& sys, const std::string& tag, std::optional<DateTime> date = {}) {
  test::FakeClock clock(kOpTime);
  test::RecordingReporter reporter;
  Functions fn(Outside{clock, reporter, sys, home});
  KestrelCfg& c = *fn.CurrentCfg;
  c.Filename(home + "/weekly.ksp");
  if (date) {
    c.Load();
    c.LastRunDate(*date);
    return;
  }
  c.UserName(tag);
  c.QuarantineFolder("/" + tag + "/q");
  c.IncludeFolders().clear();
  for (int i = 0; i < 1000; ++i)
    c.IncludeFolders().emplace_back("/" + tag + "/folder " + std::to_string(i), i % 2 == 0);
  c.Save();
}

// The configuration file, between setup's old and run's new, is at every step byte for byte the
// old one, the new one or the recovery's; kept is in each of them, finished in the new one.
Operation ConfigWrite(const std::string& name, const std::function<void()>& old, const Step& run,
                      const Step& recover, const std::string& kept, const std::string& finished) {
  const std::string ksp = home + "/weekly.ksp";
  auto allowed = std::make_shared<Strings>();
  return Operation{
      name,
      Disk(),
      [=] {
        Fresh();
        old();
        if (!allowed->empty()) return;
        allowed->push_back(Read(ksp).value_or(""));
        InChild([&] { return run(Disk()), 0; });
        allowed->push_back(Read(ksp).value_or(""));
        InChild([&] { return recover(Disk()), 0; });
        allowed->push_back(Read(ksp).value_or(""));
        Fresh();
        old();
      },
      run,
      recover,
      [=](Phase) -> std::string {
        const std::string now = Read(ksp).value_or("");
        if (std::find(allowed->begin(), allowed->end(), now) == allowed->end())
          return "the configuration is neither the old one nor the new one";
        return now.find(kept) == std::string::npos ? "lost: " + kept : "";
      },
      [=] {
        return Read(ksp).value_or("").find(finished) != std::string::npos ? "" : "not written";
      },
  };
}

// Runs the operation in a child process cut off before call N, for N from 1 until it runs to
// its end, each time from a fresh setup; checks after each crash, after the recovery and the
// undo that follow it, and after the whole operation. Returns the crash points tried and the
// faults seen.
long CrashAtEveryStep(const Operation& op, Strings& faults) {
  long n = 1;
  const auto fault = [&](const std::string& when, const std::string& what) {
    faults.push_back(op.name + ", crash before call " + std::to_string(n) + ", " + when + ": " +
                     what);
  };
  // After a recovery no temporary may be left anywhere.
  const auto check = [&](const std::string& when, Phase phase) {
    std::string what = op.check(phase);
    if (what.empty() && phase != kCut && !Temporary().empty())
      what = "temporary left: " + Temporary();
    if (!what.empty()) fault(when, what);
  };
  const auto then = [&](const Step& step, const std::string& what, Phase phase) {
    if (const int rc = InChild([&] { return step(op.sys), 0; }); rc != 0)
      fault("the " + what, "exit status " + std::to_string(rc));
    check("after the " + what, phase);
  };
  for (;; ++n) {
    op.setup();
    const int cut = InChild([&] {
      CrashSys crashing(op.sys, n);
      op.run(crashing);
      return 0;
    });
    if (cut == 0) break;  // it makes fewer than n calls
    if (cut != kCrashed) return fault("the operation", "exit status " + std::to_string(cut)), n;
    check("after the crash", kCut);
    if (op.attack) op.attack();
    then(op.recover, "recovery", kRecovered);
    if (op.undo) then(op.undo, "undo", kUndone);
  }
  check("after the whole operation", kRecovered);
  if (const std::string f = op.done(); !f.empty()) fault("after the whole operation", f);
  if (op.undo) then(op.undo, "undo of the whole operation", kUndone);
  return n - 1;
}

}  // namespace
}  // namespace kestrel::crash

int main(int argc, char** argv) {
  using namespace kestrel::crash;
  using kestrel::Sys;
  const char* tmp = std::getenv("TMPDIR");
  root = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/kestrel-crash-XXXXXX";
  if (mkdtemp(root.data()) == nullptr) return 2;
  home = root + "/t/home";
  src = root + "/t/src";
  quarantine = root + "/t/q";
  const kestrel::test::SecondFileSystem second;
  other_fs = second.Path();
  setenv("HOME", home.c_str(), 1);
  setenv("XDG_DATA_HOME", (home + "/.local/share").c_str(), 1);
  setenv("LC_ALL", "C", 1);

  // --exdev: copies on one file system, as where there is no second one.
  const bool one_fs = other_fs.empty() || (argc > 1 && std::string(argv[1]) == "--exdev");
  if (argc > 1 && std::string(argv[1]) == "--exdev") --argc, ++argv;
  ExdevSys exdev(Disk(), quarantine);
  Sys& across = one_fs ? static_cast<Sys&>(exdev) : Disk();
  const std::string far = one_fs ? quarantine : other_fs + "/t/q";
  std::printf("second file system: %s\n",
              one_fs ? "none; renames between folders made to fail with EXDEV" : other_fs.c_str());

  const std::string file = "budget del-01-01-2020.xls";
  const Operation operations[] = {
      Move("move into quarantine, same file system", Disk(), quarantine, file,
           {{"", Content(100000, 'b')}}),
      Move("move of a file to another file system", across, far, file,
           {{"", Content(3u << 20, 'b')}}),
      Move("move of a folder to another file system", across, far, "project del-01-01-2020",
           {{"/sparse", Content(5000, 's') + std::string((3 << 20) - 5000, '\0')},
            {"/sub/one", Content(300000, 'o')},
            {"/two", Content(300000, 'o')},
            {"/sub/c", ""}},
           false, Dress),
      Move("move to the Trash", Disk(), "", "notes del-01-01-2020.txt",
           {{"", Content(20000, 'n')}}),
      Move("restore from the run journal", across, far, file, {{"", Content(200000, 'r')}}, true),
      Move("restore from the Trash", Disk(), "", file, {{"", Content(20000, 't')}}, true),
      SwappedFolder("move from a folder swapped for a link", across, far, file,
                    Content(50000, 'd')),
      ConfigWrite(
          "configuration Save of 1,000 folders", [] { SaveConfig(Disk(), "old"); },
          [](Sys& s) { SaveConfig(s, "new"); }, [](Sys& s) { SaveConfig(s, "new"); }, "[Include]",
          "/new/folder 999"),
      ConfigWrite(
          "RunDate write-back", [] { WriteConfig(quarantine, "; the user's own line\n"); },
          [](Sys& s) { SaveConfig(s, "", kOpTime); }, [](Sys& s) { Kestrel(s, kNextRun); },
          "; the user's own line\n", "RunDate=" + kOpTime.ToIsoText()),
      PurgeOfAFolder(),
  };
  int faults = 0;
  for (const Operation& op : operations) {
    if (argc > 1 && op.name.find(argv[1]) == std::string::npos) continue;  // one operation
    Strings found;
    const long points = CrashAtEveryStep(op, found);
    std::printf("%-45s %5ld crash points, %zu broken\n", op.name.c_str(), points, found.size());
    for (size_t i = 0; i < found.size() && i < 5; ++i) std::printf("  %s\n", found[i].c_str());
    faults += static_cast<int>(found.size());
    std::fflush(stdout);
  }
  std::filesystem::remove_all(root);
  return faults == 0 ? 0 : 1;
}
