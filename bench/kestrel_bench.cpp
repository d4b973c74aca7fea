// Times loading and saving a configuration of 20,000 folders and whole runs over 20,000 empty
// include folders, then compares Kestrel with find(1) and mv(1) on the same generated trees:
// the median of seven warm runs of each, taken in turns, their ratio, and peak memory. A tree of
// 2,000,000 entries shows how time and memory grow with the tree and with the files moved.
// "kestrel_bench WORK --folders-only" stops after the runs over empty folders;
// "--across-only" times only the moves to a tmpfs and back and the colliding names;
// "--scan-only" only the runs over the two trees that move nothing;
// "kestrel_bench --bare-walk FOLDER" is the bare getdents walk the table compares with find.
#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/functions.h"
#include "cleanup/clean_up.h"
#include "cleanup/discovery.h"
#include "cleanup/report_recorder.h"
#include "config/kestrel_cfg.h"
#include "logging/log_file.h"
#include "platform/console_error_reporter.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kTop = 20, kMiddle = 10, kLeaf = 100;  // 20,000 folders; kTop x10: 200,000
constexpr int kFilesPerFolder = 10;                  // 200,000 files
constexpr int kMarkedEvery = 500;                    // 400 marked names, none due
constexpr int kDueFiles = 10000;
constexpr int kHugeTop = 200;  // 200,000 folders, 2,000,000 files
constexpr int kManyDueFiles = 100000;
constexpr int kRuns = 7;
constexpr const char* kMask = "*del-?\?-?\?-????*";

struct Result {
  double seconds;
  long max_rss_kib;
};

// Runs a command, its output discarded; returns its wall time and peak resident size.
Result Spawn(const std::vector<std::string>& argv, char** env = environ) {
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  const auto start = Clock::now();
  pid_t pid = 0;
  if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), env) != 0) {
    std::perror(args[0]);
    std::exit(1);
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  posix_spawn_file_actions_destroy(&actions);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "%s failed with status %d\n", args[0], status);
    std::exit(1);
  }
  return {seconds, usage.ru_maxrss};
}

// A child's ru_maxrss counts the memory of whoever called exec in it; a spawn from this large
// process would report this process. time(1) forks small, so it reports the command alone.
// Returns the peak resident size in KiB, or -1 without /usr/bin/time.
long PeakRssKib(const fs::path& work, const std::vector<std::string>& argv) {
  if (::access("/usr/bin/time", X_OK) != 0) return -1;
  const std::string out = (work / "rss.txt").string();
  std::vector<std::string> wrapped = {"/usr/bin/time", "-f", "%M", "-o", out};
  wrapped.insert(wrapped.end(), argv.begin(), argv.end());
  Spawn(wrapped);
  long kib = -1;
  std::ifstream(out) >> kib;
  return kib;
}

// Runs two commands in turns, a warm-up round first, so that both see the same machine;
// returns the median of each.
template <typename PrepareA, typename PrepareB>
std::pair<Result, Result> Medians(const std::vector<std::string>& a, PrepareA prepare_a,
                                  const std::vector<std::string>& b, PrepareB prepare_b) {
  std::vector<Result> ra, rb;
  // Writeback left by the preparation would land on whichever run syncs first.
  for (int i = 0; i <= kRuns; ++i) {
    prepare_a();
    ::sync();
    const Result x = Spawn(a);
    prepare_b();
    ::sync();
    const Result y = Spawn(b);
    if (i == 0) continue;
    ra.push_back(x);
    rb.push_back(y);
  }
  auto median = [](std::vector<Result>& r) {
    std::sort(r.begin(), r.end(),
              [](const Result& p, const Result& q) { return p.seconds < q.seconds; });
    return r[kRuns / 2];
  };
  return {median(ra), median(rb)};
}

void Touch(const fs::path& p) {
  std::ofstream(p, std::ios::binary) << 'x';
}

void MakeTree(const fs::path& root, int tops) {
  int n = 0;
  for (int t = 0; t < tops; ++t)
    for (int m = 0; m < kMiddle; ++m)
      for (int l = 0; l < kLeaf; ++l) {
        const fs::path dir = root / ("top" + std::to_string(t)) / ("mid" + std::to_string(m)) /
                             ("leaf" + std::to_string(l));
        fs::create_directories(dir);
        for (int f = 0; f < kFilesPerFolder; ++f, ++n) {
          const bool marked = n % kMarkedEvery == 0;
          const fs::path file =
              dir / (marked ? "report del-12-31-2099 " + std::to_string(f) + ".txt"
                            : "file" + std::to_string(f) + ".dat");
          ::close(::open(file.c_str(), O_WRONLY | O_CREAT, 0644));
        }
      }
}

void MakeDueFiles(const fs::path& dir, const fs::path& quarantine, int count = kDueFiles) {
  fs::remove_all(dir);
  fs::remove_all(quarantine);
  fs::create_directories(quarantine);
  for (int i = 0; i < count; ++i) {
    const fs::path sub = dir / ("d" + std::to_string(i / 1000));
    if (i % 1000 == 0) fs::create_directories(sub);
    const fs::path file = sub / ("old del-01-01-2020 " + std::to_string(i) + ".txt");
    Touch(file);
    // Written before their removal date, or the run would rightly refuse them.
    fs::last_write_time(file, fs::file_time_type::clock::now() - std::chrono::hours(24 * 3000));
  }
}

void ExpectMoved(const fs::path& quarantine, int expected = kDueFiles) {
  const auto moved = std::distance(fs::directory_iterator(quarantine), fs::directory_iterator());
  if (moved != expected) {
    std::fprintf(stderr, "expected %d moved files, found %ld\n", expected,
                 static_cast<long>(moved));
    std::exit(1);
  }
}

void WriteConfig(const fs::path& file, const fs::path& include, const fs::path& quarantine) {
  std::ofstream out(file);
  out << "[General]\nRunDate=2000-01-01 00:00:00\n[Options]\nPrefixToken=del-\n"
      << "QuarantineFolder=" << quarantine.string() << "\nMaxMB2Remove=1000000\n"
      << "MaxErrorsPerRun=1000000\nMaxKBLog=1000000\nDisplayAllMessages=True\n"
      << "[Include]\nIncludeFoldersCount=1\nFolder001=" << include.string()
      << "\nIncludeSubs001=True\n[Exclude]\nExcludeFoldersCount=0\n";
}

// Discovery alone, in this process, as the run calls it (log lines included).
Result Discovery(const fs::path& tree, const fs::path& home) {
  kestrel::SystemClock clock;
  kestrel::ConsoleErrorReporter reporter(clock, home.string());
  kestrel::Functions fn(kestrel::Outside{clock, reporter, kestrel::RealSys(), home.string()});
  fn.CurrentCfg->IncludeFolders().emplace_back(tree.string(), true);
  std::vector<double> times;
  size_t found = 0;
  for (int i = 0; i <= kRuns; ++i) {  // the first run warms the caches
    fn.RunLog->Initialize(fn.CurrentCfg->MaxKBLogFile());
    const auto start = Clock::now();
    kestrel::ReportRecorder recorder(fn.World(), *fn.CurrentCfg);
    found = kestrel::GetTargetFiles(fn.Outside(), *fn.CurrentCfg, fn.CurrentCfg->IncludeFolders(),
                                    {}, kestrel::BuildFileMask(*fn.CurrentCfg), recorder)
                .size();
    if (i > 0) times.push_back(std::chrono::duration<double>(Clock::now() - start).count());
  }
  std::sort(times.begin(), times.end());
  std::printf("discovery found %zu candidates in %d folders\n", found,
              fn.FoldersScanned / (kRuns + 1));
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return {times[kRuns / 2], usage.ru_maxrss};
}

// Whole runs in this process over many empty include folders, each of them logged, with as
// many exclude entries as asked; prints the median of seven.
void RunOverEmptyFolders(const fs::path& work, const fs::path& home, int excludes) {
  constexpr int kFolders = 20000;
  const fs::path empty = work / "empty";
  if (!fs::exists(work / "empty.done")) {
    for (int i = 0; i < kFolders; ++i) fs::create_directories(empty / std::to_string(i));
    Touch(work / "empty.done");
  }
  kestrel::SystemClock clock;
  kestrel::ConsoleErrorReporter reporter(clock, home.string());
  kestrel::Functions fn(kestrel::Outside{clock, reporter, kestrel::RealSys(), home.string()});
  kestrel::KestrelCfg& cfg = *fn.CurrentCfg;
  for (int i = 0; i < kFolders; ++i)
    cfg.IncludeFolders().emplace_back(empty / std::to_string(i), true);
  for (int i = 0; i < excludes; ++i)
    cfg.ExcludeFolders().emplace_back(work / "kept" / std::to_string(i), true);
  cfg.QuarantineFolder((work / "empty-quarantine").string());
  cfg.DisplayAllMessages(false);
  std::vector<double> times;
  for (int i = 0; i < kRuns; ++i) {
    cfg.LastRunDate(kestrel::DateTime());
    const auto start = Clock::now();
    if (!kestrel::CleanUp(fn.World(), cfg)) std::exit(1);
    times.push_back(std::chrono::duration<double>(Clock::now() - start).count());
  }
  std::sort(times.begin(), times.end());
  std::printf("run over 20,000 empty include folders, %6d exclude entries   %8.3f s\n", excludes,
              times[kRuns / 2]);
}

// Saving and loading a configuration of 20,000 include folders; prints the median of seven.
void LoadAndSave(const fs::path& home) {
  constexpr int kFolders = 20000;
  kestrel::SystemClock clock;
  kestrel::ConsoleErrorReporter reporter(clock, home.string());
  kestrel::Functions fn(kestrel::Outside{clock, reporter, kestrel::RealSys(), home.string()});
  kestrel::KestrelCfg cfg(fn.Outside());
  cfg.Filename((home / "large.ksp").string());
  for (int i = 0; i < kFolders; ++i)
    cfg.IncludeFolders().emplace_back("/srv/share/projects/" + std::to_string(i), i % 2 == 0);
  fs::remove(home / "large.ksp");
  std::vector<double> saves, loads;
  for (int i = 0; i <= kRuns; ++i) {  // the first save writes a new file
    auto start = Clock::now();
    if (!cfg.Save()) std::exit(1);
    if (i > 0) saves.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    kestrel::KestrelCfg back(fn.Outside());
    back.Filename(cfg.Filename());
    start = Clock::now();
    if (!back.Load() || back.IncludeFolders().size() != kFolders) std::exit(1);
    if (i > 0) loads.push_back(std::chrono::duration<double>(Clock::now() - start).count());
  }
  std::sort(saves.begin(), saves.end());
  std::sort(loads.begin(), loads.end());
  std::printf("load 20,000 folders   %8.3f s\n", loads[kRuns / 2]);
  std::printf("save 20,000 folders   %8.3f s\n", saves[kRuns / 2]);
}

// The least a walk can do: each folder opened relative to its parent, read with getdents, its
// entries' types taken from there; nothing stat'ed, nothing sorted. Returns the names with "del-".
long BareWalk(int dir) {
  alignas(8) static char buf[64 * 1024];
  long found = 0;
  std::vector<std::string> subfolders;
  while (true) {
    const long n = ::syscall(SYS_getdents64, dir, buf, sizeof buf);
    if (n <= 0) break;
    for (long pos = 0; pos < n;) {
      const auto* entry = reinterpret_cast<const dirent64*>(buf + pos);
      pos += entry->d_reclen;
      const std::string_view name(entry->d_name);
      if (name == "." || name == "..") continue;
      if (name.find("del-") != std::string_view::npos) ++found;
      if (entry->d_type == DT_DIR) subfolders.emplace_back(name);
    }
  }
  for (const std::string& sub : subfolders) {
    const int fd = ::openat(dir, sub.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
    if (fd < 0) continue;
    found += BareWalk(fd);
    ::close(fd);
  }
  return found;
}

void Row(const char* what, const Result& kestrel, const Result& other, const char* other_name) {
  std::printf("%-34s kestrel %8.3f s   %-22s %8.3f s   ratio %.2fx\n", what, kestrel.seconds,
              other_name, other.seconds, kestrel.seconds / other.seconds);
}

constexpr int kCollidingFiles = 20000;

// kCollidingFiles due files named so that each name occurs per_name times, in per_name folders
// (per_name 1: every name differs, 20 folders).
void MakeNamedDueFiles(const fs::path& dir, const fs::path& quarantine, int per_name) {
  fs::remove_all(dir);
  fs::remove_all(quarantine);
  fs::create_directories(quarantine);
  const int folders = per_name == 1 ? 20 : per_name;
  for (int i = 0; i < kCollidingFiles; ++i) {
    const fs::path sub = dir / ("d" + std::to_string(i % folders));
    if (i < folders) fs::create_directories(sub);
    const int name = per_name == 1 ? i : i / per_name;
    const fs::path file = sub / ("old del-01-01-2020 " + std::to_string(name) + ".txt");
    Touch(file);
    fs::last_write_time(file, fs::file_time_type::clock::now() - std::chrono::hours(24 * 3000));
  }
}

// 20,000 due files whose names repeat 200 times against 20,000 different names, both moved by
// silent runs into one quarantine folder: the free-name search must stay linear.
void CollidingNames(const std::string& exe, const fs::path& work, const fs::path& home) {
  const fs::path due = work / "collide", quarantine = work / "collide-q";
  WriteConfig(home / "collide.ksp", due, quarantine);
  const auto [repeated, unique] = Medians(
      {exe, "-s:collide.ksp"}, [&] { MakeNamedDueFiles(due, quarantine, 200); },
      {exe, "-s:collide.ksp"},
      [&] {
        ExpectMoved(quarantine, kCollidingFiles);
        MakeNamedDueFiles(due, quarantine, 1);
      });
  ExpectMoved(quarantine, kCollidingFiles);
  Row("20,000 names x200 vs unique", repeated, unique, "kestrel, unique names");
}

// The due files moved from the machine's disk to a tmpfs, and restored, against mv(1) of the
// same files to the same place and back.
void AcrossFileSystems(const std::string& exe, const fs::path& work, const fs::path& home,
                       const fs::path& tmpfs) {
  const fs::path due = work / "across", quarantine = tmpfs / "kestrel-bench-q";
  auto fresh = [&] {
    MakeDueFiles(due, quarantine);
    WriteConfig(home / "across.ksp", due, quarantine);
  };
  const std::vector<std::string> mv = {
      "find", due.string(),        "-xdev", "-iname", kMask, "-exec", "mv", "-n",
      "-t",   quarantine.string(), "{}",    "+"};
  const auto [move, move_mv] = Medians({exe, "-s:across.ksp"}, fresh, mv, [&] {
    ExpectMoved(quarantine);
    MakeDueFiles(due, quarantine);
  });
  ExpectMoved(quarantine);
  Row("moving 10,000 files disk -> tmpfs", move, move_mv, "find -exec mv -n -t");

  auto moved_by_run = [&] {
    fresh();
    Spawn({exe, "-s:across.ksp"});
    ExpectMoved(quarantine);
  };
  std::string back;
  const std::string q = "'" + quarantine.string() + "/old del-01-01-2020 '";
  for (int d = 0; d < kDueFiles / 1000; ++d) {
    const std::string folder = "'" + (due / ("d" + std::to_string(d))).string() + "'";
    back += (d == 0 ? "" : " && ") + std::string("mv -n -t ") + folder;
    back += d == 0 ? " " + q + "?.txt " + q + "??.txt " + q + "???.txt"
                   : " " + q + std::to_string(d) + "???.txt";
  }
  const auto [restore, restore_mv] =
      Medians({exe, "--restore", "last"}, moved_by_run, {"sh", "-c", back}, [&] {
        ExpectMoved(quarantine, 0);
        moved_by_run();
      });
  ExpectMoved(quarantine, 0);
  Row("restoring 10,000 files tmpfs -> disk", restore, restore_mv, "mv -n -t back");
  fs::remove_all(quarantine);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--bare-walk") {
    const int fd = ::open(argv[2], O_RDONLY | O_DIRECTORY);
    return fd >= 0 && BareWalk(fd) >= 0 ? 0 : 1;
  }
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  const fs::path work = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "kestrel-bench";
  const fs::path tree = work / "tree", home = work / "home", due = work / "due",
                 quarantine = work / "quarantine", huge = work / "huge";
  const std::string self = argv[0];
  // The journals of earlier invocations would add their pruning to every run measured here.
  fs::remove_all(home / "journal");
  fs::create_directories(home);
  setenv("KESTREL_HOME", home.c_str(), 1);
  setenv("LC_ALL", "C", 1);
  if (argc > 2 && std::string(argv[2]) == "--across-only") {
    AcrossFileSystems(KESTREL_EXE, work, home, "/dev/shm");
    CollidingNames(KESTREL_EXE, work, home);
    return 0;
  }
  const bool scan_only = argc > 2 && std::string(argv[2]) == "--scan-only";
  if (!scan_only) {
    LoadAndSave(home);
    RunOverEmptyFolders(work, home, 0);
    RunOverEmptyFolders(work, home, 20000);
  }
  if (argc > 2 && std::string(argv[2]) == "--folders-only") return 0;
  const bool moves_only = argc > 2 && std::string(argv[2]) == "--moves-only";
  // The tree takes minutes to write; a finished one from an earlier run is used again.
  if (!moves_only && !fs::exists(work / "tree.done")) {
    std::printf("Generating %d folders with %d files under %s ...\n", kTop * kMiddle * kLeaf,
                kTop * kMiddle * kLeaf * kFilesPerFolder, tree.c_str());
    std::fflush(stdout);
    fs::remove_all(tree);
    MakeTree(tree, kTop);
    Touch(work / "tree.done");
  }

  const std::vector<std::string> find = {"find", tree.string(), "-xdev", "-iname", kMask};
  const std::string exe = KESTREL_EXE;
  auto rewind = [&] { WriteConfig(home / "scan.ksp", tree, quarantine); };
  if (!moves_only) {
    const auto [scan, find_scan] = Medians({exe, "-s:scan.ksp"}, rewind, find, [] {});
    Row("discovery alone (in process)", Discovery(tree, home), find_scan, "find -xdev -iname");
    Row("silent run, every folder logged", scan, find_scan, "find -xdev -iname");
    std::vector<std::string> one_thread_env;
    for (char** e = environ; *e != nullptr; ++e) one_thread_env.emplace_back(*e);
    one_thread_env.emplace_back("KESTREL_THREADS=1");
    std::vector<char*> env;
    for (auto& e : one_thread_env) env.push_back(e.data());
    env.push_back(nullptr);
    std::vector<Result> single;
    for (int i = 0; i < kRuns; ++i) {
      rewind();
      single.push_back(Spawn({exe, "-s:scan.ksp"}, env.data()));
    }
    std::sort(single.begin(), single.end(),
              [](const Result& p, const Result& q) { return p.seconds < q.seconds; });
    Row("  the same, KESTREL_THREADS=1", single[kRuns / 2], find_scan, "(find above)");
    const auto [preview, find_preview] =
        Medians({exe, "--preview", "scan.ksp"}, rewind, find, [] {});
    Row("--preview", preview, find_preview, "find -xdev -iname");
    const auto [bare, find_bare] = Medians(
        {self, "--bare-walk", tree.string()}, [] {}, find, [] {});
    Row("bare getdents walk, one thread", bare, find_bare, "find -xdev -iname");
    if (!fs::exists(work / "huge.done")) {
      std::printf("Generating %d folders with %d files under %s ...\n", kHugeTop * kMiddle * kLeaf,
                  kHugeTop * kMiddle * kLeaf * kFilesPerFolder, huge.c_str());
      fs::remove_all(huge);
      MakeTree(huge, kHugeTop);
      Touch(work / "huge.done");
    }
    auto rewind_huge = [&] { WriteConfig(home / "huge.ksp", huge, quarantine); };
    const auto [scan_huge, find_huge] =
        Medians({exe, "-s:huge.ksp"}, rewind_huge,
                {"find", huge.string(), "-xdev", "-iname", kMask}, [] {});
    Row("silent run, 2,000,000 files", scan_huge, find_huge, "find -xdev -iname");
    // In turns with the 200,000, as every ratio here is taken, so that the machine's drift over
    // the minutes between the two rows above does not enter the figure. Each 200,000 run comes
    // after one of its own: right after a 2,000,000 one it takes some 8% longer here.
    const auto [grown, base] =
        Medians({exe, "-s:huge.ksp"}, rewind_huge, {exe, "-s:scan.ksp"}, [&] {
          rewind();
          Spawn({exe, "-s:scan.ksp"});
          rewind();
        });
    rewind();
    const long rss = PeakRssKib(work, {exe, "-s:scan.ksp"});
    rewind_huge();
    const long rss_huge = PeakRssKib(work, {exe, "-s:huge.ksp"});
    std::printf(
        "2,000,000 files against 200,000: time %.2fx (%.3f s / %.3f s, goal at most 11x), "
        "peak RSS %ld KiB against %ld KiB (goal at most 16 MiB)\n",
        grown.seconds / base.seconds, grown.seconds, base.seconds, rss_huge, rss);
  }
  if (scan_only) return 0;

  auto fresh = [&] {
    MakeDueFiles(due, quarantine);
    WriteConfig(home / "move.ksp", due, quarantine);
  };
  const std::vector<std::string> mv = {
      "find", due.string(),        "-xdev", "-iname", kMask, "-exec", "mv", "-n",
      "-t",   quarantine.string(), "{}",    "+"};
  const auto [move, move_mv] = Medians(
      {exe, "-s:move.ksp"}, [&] { fresh(); }, mv,
      [&] {
        ExpectMoved(quarantine);  // what the Kestrel run just did
        MakeDueFiles(due, quarantine);
      });
  ExpectMoved(quarantine);
  Row("moving 10,000 due files, journaled", move, move_mv, "find -exec mv -n -t");

  // The same files back from the quarantine: a restore of the run's journal against mv of
  // each folder's share back (file i came from folder d<i/1000>).
  auto moved_by_run = [&] {
    fresh();
    Spawn({exe, "-s:move.ksp"});
    ExpectMoved(quarantine);
  };
  std::string back;
  const std::string q = "'" + quarantine.string() + "/old del-01-01-2020 '";
  for (int d = 0; d < kDueFiles / 1000; ++d) {
    const std::string folder = "'" + (due / ("d" + std::to_string(d))).string() + "'";
    back += (d == 0 ? "" : " && ") + std::string("mv -n -t ") + folder;
    if (d == 0) {
      back += " " + q + "?.txt " + q + "??.txt " + q + "???.txt";
    } else {
      back += " " + q + std::to_string(d) + "???.txt";
    }
  }
  const auto [restore, restore_mv] =
      Medians({exe, "--restore", "last"}, moved_by_run, {"sh", "-c", back}, [&] {
        ExpectMoved(quarantine, 0);  // what the restore just did
        moved_by_run();
      });
  ExpectMoved(quarantine, 0);
  Row("restoring 10,000 files, same fs", restore, restore_mv, "mv -n -t back");
  if (fs::exists("/dev/shm")) AcrossFileSystems(exe, work, home, "/dev/shm");
  CollidingNames(exe, work, home);
  // Memory grows with the files a run moves, not with the entries it scans.
  MakeDueFiles(due, quarantine, kManyDueFiles);
  WriteConfig(home / "move.ksp", due, quarantine);
  const long many = PeakRssKib(work, {exe, "-s:move.ksp"});
  ExpectMoved(quarantine, kManyDueFiles);
  std::printf("moving 100,000 files: peak RSS %ld KiB\n", many);
  fs::remove_all(due);
  fs::remove_all(quarantine);
  std::printf("(trees kept in %s; remove them when done)\n", work.c_str());
  return 0;
}
