// Cuts off each operation that changes the user's files before every call it makes through
// the file-system seam, then checks the files, runs what the user would run next, and checks
// again. Prints the crash points tried per operation; fails on any broken invariant.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
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
#include <string>

#include "app/commands/commands.h"
#include "app/functions.h"
#include "app/main_routine.h"
#include "config/kestrel_cfg.h"
#include "crash_sys.h"
#include "platform/clock.h"
#include "support/doubles.h"
#include "support/second_fs.h"

namespace kestrel::crash {
namespace {

namespace fs = std::filesystem;
using Files = std::map<std::string, std::string>;  // path below an entry ("" itself): bytes
using Strings = std::vector<std::string>;

// One operation to cut off at every call it makes through the seam. Each step starts from the
// tree setup builds; run is the operation, recover what a user's next run or save does; check
// returns what breaks the invariants ("" when they hold), after the crash (recovered false)
// and after the recovery (true); done what the whole operation, not cut off, failed to do.
using Step = std::function<void(Sys&)>;
struct Operation {
  std::string name;
  Sys& sys;
  std::function<void()> setup;
  Step run, recover;
  std::function<std::string(bool recovered)> check;
  std::function<std::string()> done;
};

// ---- the tree ----

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
            "\nIncludeSubs001=False\n");
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

// Where each file of a moved entry is whole: at its source, and under every visible entry of
// the destination, whose hidden entries are temporaries. For the Trash, info is its info folder:
// every trashed entry needs a whole .trashinfo naming path_field, and after the recovery no
// .trashinfo may be without its entry.
std::string CheckMove(const std::string& from, const std::string& dest, const Files& files,
                      bool recovered, const std::string& info, const std::string& path_field) {
  std::map<std::string, int> whole;
  for (const auto& [rel, text] : files) {
    const auto at = Read(from + rel);
    if (at && *at != text) return "the source of " + from + rel + " changed";
    whole[rel] = at ? 1 : 0;
  }
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(dest, ec)) {
    const std::string name = e.path().filename();
    if (name.front() == '.') continue;  // a temporary
    for (const auto& [rel, text] : files) {
      const auto copy = Read(e.path().string() + rel);
      if (!copy || *copy != text) return "incomplete copy visible: " + e.path().string() + rel;
      ++whole[rel];
    }
    if (info.empty()) continue;
    const std::string trash_info = Read(info + "/" + name + ".trashinfo").value_or("");
    if (trash_info.find("\nPath=" + path_field + "\n") == std::string::npos)
      return "no whole .trashinfo for the trashed " + name;
  }
  for (const auto& [rel, n] : whole) {
    if (n == 0) return "lost: " + from + rel;
    if (recovered && n > 1) return std::to_string(n) + " whole copies of " + from + rel;
  }
  if (!recovered) return "";
  for (const auto& e : fs::directory_iterator(info, ec)) {  // none when info is ""
    const std::string name = e.path().filename();
    if (!fs::exists(fs::symlink_status(dest + "/" + name.substr(0, name.size() - 10))))
      return ".trashinfo without a file: " + name;
  }
  return "";
}

// A silent run that moves entry (a file, or a folder of files) from src to dest, the Trash when
// dest is ""; or, with restore, that run made beforehand and its restore the operation.
Operation Move(const std::string& name, Sys& sys, const std::string& dest, const std::string& entry,
               const Files& files, bool restore = false) {
  const std::string from = src + "/" + entry, trash = home + "/.local/share/Trash";
  const std::string into = dest.empty() ? trash + "/files" : dest;
  const std::string info = dest.empty() ? trash + "/info" : "";
  std::string encoded = from;
  for (size_t at; (at = encoded.find(' ')) != std::string::npos;) encoded.replace(at, 1, "%20");
  const DateTime at = restore ? kNextRun : kOpTime;
  const Strings args = restore ? Strings{"--restore", "last"} : Strings{};
  return Operation{
      name,
      sys,
      [=, &sys] {
        Fresh();
        WriteConfig(dest);
        for (const auto& [rel, text] : files) Write(from + rel, text, true);
        SetOld(from);
        if (restore) InChild([&] { return Kestrel(sys, kOpTime), 0; });
      },
      [=](Sys& s) { Kestrel(s, at, args); },
      [=](Sys& s) { Kestrel(s, at.AddSeconds(3600)); },
      [=](bool recovered) { return CheckMove(from, into, files, recovered, info, encoded); },
      [=] { return fs::exists(from) == restore ? "" : "not done: " + from; },
  };
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
      RealSys(),
      [=] {
        Fresh();
        WriteConfig(quarantine, "PurgeAfterDays=30\n");
        Write(src + "/project del-01-01-2020/a.txt", Content(5000, 'a'), true);
        Write(src + "/project del-01-01-2020/sub/b.bin", Content(70000, 'b'), true);
        Write(src + "/keep.txt", "keep");
        fs::create_symlink(src + "/keep.txt", src + "/project del-01-01-2020/sub/link");
        SetOld(src + "/project del-01-01-2020");
        InChild([] { return Kestrel(RealSys(), kOpTime), 0; });
        Write(stranger, "not Kestrel's");
        fs::permissions(item + "/sub", fs::perms::owner_read | fs::perms::owner_exec);
      },
      [=](Sys& s) { Kestrel(s, kOpTime.AddDays(31), purge); },
      [=](Sys& s) { Kestrel(s, kOpTime.AddDays(31).AddSeconds(3600), purge); },
      [=](bool recovered) -> std::string {
        if (Read(src + "/keep.txt") != "keep" || Read(stranger) != "not Kestrel's")
          return "something outside the purged item changed";
        return recovered && fs::exists(fs::symlink_status(item)) ? "not purged: " + item : "";
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
      RealSys(),
      [=] {
        Fresh();
        old();
        if (!allowed->empty()) return;
        allowed->push_back(Read(ksp).value_or(""));
        InChild([&] { return run(RealSys()), 0; });
        allowed->push_back(Read(ksp).value_or(""));
        InChild([&] { return recover(RealSys()), 0; });
        allowed->push_back(Read(ksp).value_or(""));
        Fresh();
        old();
      },
      run,
      recover,
      [=](bool) -> std::string {
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
// its end, each time from a fresh setup; checks after each crash, after the recovery that
// follows it and after the whole operation. Returns the crash points tried and the faults seen.
long CrashAtEveryStep(const Operation& op, Strings& faults) {
  long n = 1;
  const auto fault = [&](const std::string& when, const std::string& what) {
    faults.push_back(op.name + ", crash before call " + std::to_string(n) + ", " + when + ": " +
                     what);
  };
  // After a recovery no temporary may be left anywhere.
  const auto check = [&](const std::string& when, bool recovered) {
    std::string what = op.check(recovered);
    if (what.empty() && recovered && !Temporary().empty()) what = "temporary left: " + Temporary();
    if (!what.empty()) fault(when, what);
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
    check("after the crash", false);
    const int rec = InChild([&] { return op.recover(op.sys), 0; });
    if (rec != 0) fault("the recovery", "exit status " + std::to_string(rec));
    check("after the recovery", true);
  }
  check("after the whole operation", true);
  if (const std::string f = op.done(); !f.empty()) fault("after the whole operation", f);
  return n - 1;
}

}  // namespace
}  // namespace kestrel::crash

int main(int argc, char** argv) {
  using namespace kestrel::crash;
  using kestrel::RealSys, kestrel::Sys;
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

  ExdevSys exdev(RealSys());
  Sys& across = other_fs.empty() ? static_cast<Sys&>(exdev) : RealSys();
  const std::string far = other_fs.empty() ? quarantine : other_fs + "/t/q";
  std::printf("second file system: %s\n",
              other_fs.empty() ? "none; renames between folders made to fail with EXDEV"
                               : other_fs.c_str());

  const std::string file = "budget del-01-01-2020.xls";
  const Operation operations[] = {
      Move("move into quarantine, same file system", RealSys(), quarantine, file,
           {{"", Content(100000, 'b')}}),
      Move("move of a file to another file system", across, far, file,
           {{"", Content(3u << 20, 'b')}}),
      Move("move of a folder to another file system", across, far, "project del-01-01-2020",
           {{"/a.txt", Content(5000, 'a')}, {"/sub/b.bin", Content(300000, 'b')}, {"/sub/c", ""}}),
      Move("move to the Trash", RealSys(), "", "notes del-01-01-2020.txt",
           {{"", Content(20000, 'n')}}),
      Move("restore from the run journal", across, far, file, {{"", Content(200000, 'r')}}, true),
      ConfigWrite(
          "configuration Save of 1,000 folders", [] { SaveConfig(RealSys(), "old"); },
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
