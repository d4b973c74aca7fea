// Cuts off each operation that changes the user's files before every call it makes through
// the file-system seam, then checks the files, runs what the user would run next, and checks
// again. Prints the crash points tried per operation; fails on any broken invariant.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <tuple>

#include "app/commands/commands.h"
#include "app/functions.h"
#include "app/main_routine.h"
#include "config/kestrel_cfg.h"
#include "crash_sys.h"
#include "fs/win32_wrapper.h"
#include "harness.h"
#include "platform/clock.h"
#include "platform/error_reporter.h"
#include "support/doubles.h"
#include "support/second_fs.h"

namespace kestrel::crash {
namespace {

namespace fs = std::filesystem;

// ---- the tree ----

std::string root, home, src, quarantine, other_fs;

const DateTime kOpTime = *DateTime::FromCivil(2026, 12, 6, 10, 0, 0);
const DateTime kNextRun = *DateTime::FromCivil(2026, 12, 6, 11, 0, 0);
const DateTime kOldRun = *DateTime::FromCivil(2026, 12, 5, 22, 0, 0);

void Write(const std::string& path, const std::string& text) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

std::optional<std::string> Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Last written long before its removal date, so that it is due.
void SetOld(const std::string& path) {
  const timespec times[2] = {{1546300800, 0}, {1546300800, 0}};  // 2019-01-01
  utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

void WriteOld(const std::string& path, const std::string& text) {
  Write(path, text);
  SetOld(path);
}

// Text whose every stretch differs, so that a copy cut short or shifted never passes as whole.
std::string Content(size_t size, char seed) {
  std::string s(size, '\0');
  std::uint32_t x = static_cast<unsigned char>(seed) * 2654435761u + 1;
  for (char& c : s) c = static_cast<char>((x = x * 1103515245u + 12345u) >> 24);
  return s;
}

// Kestrel's temporaries: hidden ".kestrel-..." names beside what they become.
bool IsTemporary(const std::string& name) {
  return name.rfind(".kestrel-", 0) == 0;
}

std::vector<std::string> Temporaries(const std::string& folder) {
  std::vector<std::string> found;
  std::error_code ec;
  for (const auto& e : fs::recursive_directory_iterator(folder, ec))
    if (IsTemporary(e.path().filename())) found.push_back(e.path());
  return found;
}

void Fresh() {
  fs::remove_all(root + "/t");
  if (!other_fs.empty()) fs::remove_all(other_fs + "/t");
  for (const std::string& f : {home, src, quarantine}) fs::create_directories(f);
  if (!other_fs.empty()) fs::create_directories(other_fs + "/t/q");
}

void WriteConfig(const std::string& quarantine_folder, const std::string& extra = "") {
  Write(home + "/weekly.ksp",
        "[General]\nVersion=2026.12.0\nRunDate=" + kOldRun.ToIsoText() +
            "\n[Options]\nName=ann\nPrefixToken=del-\nQuarantineFolder=" + quarantine_folder +
            "\nMaxMB2Remove=50\n" + extra + "[Include]\nIncludeFoldersCount=1\nFolder001=" + src +
            "\nIncludeSubs001=False\n");
}

// ---- the program ----

using test::FakeClock;
using test::RecordingReporter;

// A child's output would only bury the harness's own.
void SilenceOutput() {
  if (!std::freopen("/dev/null", "w", stdout) || !std::freopen("/dev/null", "w", stderr)) {
    std::abort();
  }
}

// What `kestrel -s:weekly.ksp` does at the given time, its output aside.
void SilentRun(Sys& sys, DateTime now) {
  SilenceOutput();
  FakeClock clock(now);
  RecordingReporter reporter;
  Functions fn(Outside{clock, reporter, sys, home});
  Main(fn, {"-s:weekly.ksp"}, [](Functions&) { return kExitBadInput; });
}

// ---- moves ----

// Where each file of a moved entry is whole: at its source, and under every visible entry of
// the destination. Hidden entries there are temporaries, allowed only before the recovery. For
// the Trash, info is its info folder: every trashed entry needs a whole .trashinfo naming
// path_field, and after the recovery no .trashinfo may be without its entry.
std::string CheckMove(const std::string& from, const std::string& dest,
                      const std::map<std::string, std::string>& files, bool recovered,
                      const std::string& info = "", const std::string& path_field = "") {
  std::map<std::string, int> whole;
  std::string temporary;
  for (const auto& [rel, text] : files) {
    const auto at = Read(from + rel);
    if (at && *at != text) return "the source of " + from + rel + " changed";
    whole[rel] = at ? 1 : 0;
  }
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(dest, ec)) {
    const std::string name = e.path().filename();
    if (name.front() == '.') {
      if (recovered) temporary = e.path();
      continue;
    }
    for (const auto& [rel, text] : files) {
      const auto copy = Read(e.path().string() + rel);
      if (!copy || *copy != text) return "incomplete copy visible: " + e.path().string() + rel;
      ++whole[rel];
    }
    if (info.empty()) continue;
    const auto trash_info = Read(info + "/" + name + ".trashinfo");
    if (!trash_info || trash_info->find("\nPath=" + path_field + "\n") == std::string::npos)
      return "no whole .trashinfo for the trashed " + name;
  }
  for (const auto& [rel, n] : whole) {
    if (n == 0) return "lost: " + from + rel;
    if (recovered && n > 1) return std::to_string(n) + " whole copies of " + from + rel;
  }
  if (!temporary.empty()) return "temporary left: " + temporary;
  if (!recovered) return "";
  for (const auto& e : fs::directory_iterator(info, ec)) {  // none when info is ""
    const std::string name = e.path().filename();
    if (!fs::exists(fs::symlink_status(dest + "/" + name.substr(0, name.size() - 10))))
      return ".trashinfo without a file: " + name;
  }
  for (const std::string& f : {home, src}) {
    const auto temps = Temporaries(f);
    if (!temps.empty()) return "temporary left: " + temps.front();
  }
  return "";
}

Operation QuarantineRun(const std::string& name, const std::string& dest, size_t size) {
  const std::string file = src + "/budget del-01-01-2020.xls";
  const std::map<std::string, std::string> files = {{"", Content(size, 'b')}};
  return Operation{
      name,
      [=] {
        Fresh();
        WriteConfig(dest);
        WriteOld(file, files.at(""));
      },
      [](Sys& sys) { SilentRun(sys, kOpTime); },
      [](Sys& sys) { SilentRun(sys, kNextRun); },
      [=](bool recovered) { return CheckMove(file, dest, files, recovered); },
      [=] { return fs::exists(file) ? "not moved: " + file : ""; },
  };
}

Operation FolderMove(const std::string& dest) {
  const std::string folder = src + "/project del-01-01-2020";
  const std::map<std::string, std::string> files = {
      {"/a.txt", Content(5000, 'a')}, {"/sub/b.bin", Content(300000, 'b')}, {"/sub/c", ""}};
  return Operation{
      "move of a folder to another file system",
      [=] {
        Fresh();
        WriteConfig(dest);
        for (const auto& [rel, text] : files) WriteOld(folder + rel, text);
        SetOld(folder);
      },
      [](Sys& sys) { SilentRun(sys, kOpTime); },
      [](Sys& sys) { SilentRun(sys, kNextRun); },
      [=](bool recovered) { return CheckMove(folder, dest, files, recovered); },
      [=] { return fs::exists(folder) ? "not moved: " + folder : ""; },
  };
}

// `kestrel` with a long command line (--restore, --purge) at the given time, its output aside.
void LongCommand(Sys& sys, DateTime now, const std::string& command, const std::string& arg) {
  SilenceOutput();
  FakeClock clock(now);
  RecordingReporter reporter;
  Functions fn(Outside{clock, reporter, sys, home});
  RunLongCommandLine(fn, {command, arg}, Commands());
}

// The file moved by a whole run, then restored from that run's journal.
Operation Restore(const std::string& dest, Sys& sys) {
  const std::string file = src + "/budget del-01-01-2020.xls";
  const std::map<std::string, std::string> files = {{"", Content(200000, 'r')}};
  return Operation{
      "restore from the run journal",
      [=, &sys] {
        Fresh();
        WriteConfig(dest);
        WriteOld(file, files.at(""));
        std::fflush(nullptr);
        const pid_t pid = fork();
        if (pid == 0) {
          SilentRun(sys, kOpTime);
          _exit(0);
        }
        waitpid(pid, nullptr, 0);
      },
      [](Sys& s) { LongCommand(s, kNextRun, "--restore", "last"); },
      [](Sys& s) { SilentRun(s, kNextRun.AddSeconds(3600)); },
      [=](bool recovered) { return CheckMove(file, dest, files, recovered); },
      [=] { return Read(file) ? "" : "not restored: " + file; },
  };
}

// ---- purging the quarantine ----

// Every file below folder with its bytes (a link's target), for "nothing changed" checks.
std::map<std::string, std::string> Tree(const std::string& folder) {
  std::map<std::string, std::string> out;
  std::error_code ec;
  for (const auto& e : fs::recursive_directory_iterator(folder, ec)) {
    if (e.is_symlink()) {
      out[e.path()] = "-> " + fs::read_symlink(e.path()).string();
    } else if (e.is_regular_file()) {
      out[e.path()] = Read(e.path()).value_or("?");
    }
  }
  return out;
}

// A folder moved into the quarantine by a run, purged 31 days later; beside it a file no
// journal knows, and a link inside it to a file outside.
Operation PurgeOfAFolder() {
  const std::string item = quarantine + "/project del-01-01-2020";
  const std::string stranger = quarantine + "/stranger.txt";
  auto before = std::make_shared<std::map<std::string, std::string>>();
  return Operation{
      "purge of a quarantined folder",
      [=] {
        Fresh();
        WriteConfig(quarantine, "PurgeAfterDays=30\n");
        WriteOld(src + "/project del-01-01-2020/a.txt", Content(5000, 'a'));
        WriteOld(src + "/project del-01-01-2020/sub/b.bin", Content(70000, 'b'));
        Write(src + "/keep.txt", "keep");
        fs::create_symlink(src + "/keep.txt", src + "/project del-01-01-2020/sub/link");
        SetOld(src + "/project del-01-01-2020");
        std::fflush(nullptr);
        const pid_t pid = fork();
        if (pid == 0) {
          SilentRun(RealSys(), kOpTime);
          _exit(0);
        }
        waitpid(pid, nullptr, 0);
        Write(stranger, "not Kestrel's");
        fs::permissions(item + "/sub", fs::perms::owner_read | fs::perms::owner_exec);
        *before = Tree(src);
        (*before)[stranger] = "not Kestrel's";
      },
      [](Sys& s) { LongCommand(s, kOpTime.AddDays(31), "--purge", "weekly.ksp"); },
      [](Sys& s) { LongCommand(s, kOpTime.AddDays(31).AddSeconds(3600), "--purge", "weekly.ksp"); },
      [=](bool recovered) -> std::string {
        std::map<std::string, std::string> now = Tree(src);
        now[stranger] = Read(stranger).value_or("gone");
        if (now != *before) return "something outside the purged item changed";
        const auto temps = Temporaries(quarantine);
        if (recovered && !temps.empty()) return "temporary left: " + temps.front();
        if (recovered && fs::exists(fs::symlink_status(item))) return "not purged: " + item;
        return "";
      },
      [=] { return fs::exists(fs::symlink_status(item)) ? "not purged: " + item : ""; },
  };
}

// ---- the Trash ----

Operation TrashRun() {
  const std::string file = src + "/notes del-01-01-2020.txt";
  const std::string text = Content(20000, 'n');
  const std::string trash = home + "/.local/share/Trash";
  std::string encoded = file;
  for (size_t at; (at = encoded.find(' ')) != std::string::npos;) encoded.replace(at, 1, "%20");
  return Operation{
      "move to the Trash",
      [=] {
        Fresh();
        WriteConfig("");
        WriteOld(file, text);
      },
      [](Sys& sys) { SilentRun(sys, kOpTime); },
      [](Sys& sys) { SilentRun(sys, kNextRun); },
      [=](bool recovered) {
        return CheckMove(file, trash + "/files", {{"", text}}, recovered, trash + "/info", encoded);
      },
      [=] {
        return fs::exists(trash + "/files/" + fs::path(file).filename().string()) ? ""
                                                                                  : "not trashed";
      },
  };
}

// ---- the configuration file ----

using Fields = std::tuple<DateTime, std::string, std::string, std::int32_t,
                          std::vector<std::pair<std::string, bool>>>;

std::optional<Fields> Loaded(const std::string& file) {
  FakeClock clock(kNextRun);
  RecordingReporter reporter;
  Functions fn(Outside{clock, reporter, RealSys(), home});
  KestrelCfg& c = *fn.CurrentCfg;
  c.Filename(file);
  if (!c.Load()) return std::nullopt;
  std::vector<std::pair<std::string, bool>> list;
  for (const auto& f : c.IncludeFolders()) list.emplace_back(f.FolderName(), f.IncludeSubs());
  return Fields{c.LastRunDate(), c.UserName(), c.QuarantineFolder(), c.MaxMBPerRun(), list};
}

void Fill(KestrelCfg& c, const std::string& tag, int folders) {
  c.UserName(tag);
  c.QuarantineFolder("/" + tag + "/q");
  c.MaxMBPerRun(folders);
  c.IncludeFolders().clear();
  for (int i = 0; i < folders; ++i)
    c.IncludeFolders().emplace_back("/" + tag + "/folder " + std::to_string(i), i % 2 == 0);
}

// Saves (or, with date, writes back RunDate) the configuration in home.
void SaveConfig(Sys& sys, const std::string& tag, int folders, std::optional<DateTime> date) {
  FakeClock clock(kOpTime);
  RecordingReporter reporter;
  Functions fn(Outside{clock, reporter, sys, home});
  KestrelCfg& c = *fn.CurrentCfg;
  c.Filename(home + "/weekly.ksp");
  if (date) {
    c.Load();
    c.LastRunDate(*date);
  } else {
    Fill(c, tag, folders);
    c.Save();
  }
}

std::string CheckConfig(const std::vector<Fields>& allowed, bool recovered) {
  const auto now = Loaded(home + "/weekly.ksp");
  if (!now) return "the configuration does not load";
  bool known = false;
  for (const Fields& f : allowed) known = known || f == *now;
  if (!known) return "the configuration is neither the old one nor the new one";
  const auto temps = Temporaries(home);
  if (recovered && !temps.empty()) return "temporary left: " + temps.front();
  return "";
}

Operation ConfigSave() {
  constexpr int kFolders = 1000;
  auto allowed = std::make_shared<std::vector<Fields>>();
  return Operation{
      "configuration Save of 1,000 folders",
      [=] {
        Fresh();
        SaveConfig(RealSys(), "old", kFolders, std::nullopt);
        if (allowed->empty()) {
          allowed->push_back(*Loaded(home + "/weekly.ksp"));
          SaveConfig(RealSys(), "new", kFolders, std::nullopt);
          allowed->push_back(*Loaded(home + "/weekly.ksp"));
          Fresh();
          SaveConfig(RealSys(), "old", kFolders, std::nullopt);
        }
      },
      [](Sys& sys) { SaveConfig(sys, "new", kFolders, std::nullopt); },
      [](Sys& sys) { SaveConfig(sys, "new", kFolders, std::nullopt); },  // the next save
      [=](bool recovered) { return CheckConfig(*allowed, recovered); },
      [=] { return Loaded(home + "/weekly.ksp") == (*allowed)[1] ? "" : "not saved"; },
  };
}

Operation RunDateWrite() {
  auto allowed = std::make_shared<std::vector<Fields>>();
  return Operation{
      "RunDate write-back",
      [=] {
        Fresh();
        WriteConfig(quarantine, "; the user's own line\n");
        if (allowed->empty()) {
          for (const DateTime d : {kOldRun, kOpTime, kNextRun}) {
            Fields f = *Loaded(home + "/weekly.ksp");
            std::get<0>(f) = d;
            allowed->push_back(f);
          }
        }
      },
      [](Sys& sys) { SaveConfig(sys, "", 0, kOpTime); },
      [](Sys& sys) { SilentRun(sys, kNextRun); },
      [=](bool recovered) -> std::string {
        if (Read(home + "/weekly.ksp").value_or("").find("; the user's own line\n") ==
            std::string::npos)
          return "the user's own line is gone";
        return CheckConfig(*allowed, recovered);
      },
      [=] { return Loaded(home + "/weekly.ksp") == (*allowed)[1] ? "" : "RunDate not written"; },
  };
}

}  // namespace
}  // namespace kestrel::crash

int main(int argc, char** argv) {
  using namespace kestrel::crash;
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

  kestrel::crash::ExdevSys exdev(kestrel::RealSys());
  kestrel::Sys& across = other_fs.empty() ? static_cast<kestrel::Sys&>(exdev) : kestrel::RealSys();
  const std::string far = other_fs.empty() ? quarantine : other_fs + "/t/q";
  std::printf("second file system: %s\n",
              other_fs.empty() ? "none; renames between folders made to fail with EXDEV"
                               : other_fs.c_str());

  struct Case {
    Operation op;
    kestrel::Sys& sys;
  };
  std::vector<Case> cases = {
      {QuarantineRun("move into quarantine, same file system", quarantine, 100000),
       kestrel::RealSys()},
      {QuarantineRun("move of a file to another file system", far, 3u << 20), across},
      {FolderMove(far), across},
      {TrashRun(), kestrel::RealSys()},
      {Restore(far, across), across},
      {ConfigSave(), kestrel::RealSys()},
      {RunDateWrite(), kestrel::RealSys()},
      {PurgeOfAFolder(), kestrel::RealSys()},
  };
  int faults = 0;
  for (const Case& c : cases) {
    if (argc > 1 && c.op.name.find(argv[1]) == std::string::npos) continue;  // one operation
    const Outcome out = CrashAtEveryStep(c.op, c.sys);
    std::printf("%-45s %5ld crash points, %zu broken\n", c.op.name.c_str(), out.points,
                out.faults.size());
    // One line per kind of fault: the first crash point that shows it, and how many do.
    std::map<std::string, std::pair<std::string, int>> kinds;
    for (const std::string& f : out.faults) {
      const size_t when =
          f.find(", after ") != std::string::npos ? f.find(", after ") : f.rfind(", ");
      std::string kind = f.substr(when + 2);
      kind = kind.substr(0, kind.find('/'));
      auto& [first, n] = kinds[kind];
      if (n++ == 0) first = f;
    }
    for (const auto& [kind, seen] : kinds)
      std::printf("  %d x %s\n    first: %s\n", seen.second, kind.c_str(), seen.first.c_str());
    faults += static_cast<int>(out.faults.size());
    std::fflush(stdout);
  }
  std::filesystem::remove_all(root);
  return faults == 0 ? 0 : 1;
}
