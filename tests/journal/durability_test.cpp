// A run's journal holds every move before the move happens, whatever stops the run.
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include "app/main_routine.h"
#include "journal/journal_reader.h"
#include "journal/journal_writer.h"
#include "support/engine_fixture.h"
#include "support/fault_sys.h"

namespace kestrel::journal {
namespace {

using test::At;

// Notes every step that changes a due file (a rename, a link of its copy, the removal of its
// source) taken while the journal has unsynced bytes or does not yet name the file; with
// signal_at, raises that signal at that step.
class OrderSys : public test::FaultSys {
 public:
  std::vector<std::string> early;
  int steps = 0, signal_at = 0, signal = 0;
  bool bind_mount = false;  // renames of due files say EXDEV

  int OpenAt(int d, const char* p, int f, mode_t m) override {
    const int fd = FaultSys::OpenAt(d, p, f, m);
    if (fd >= 0 && (f & O_CREAT) != 0 && std::string(p).find("/journal/") != std::string::npos)
      journal_ = p, fd_ = fd;
    return fd;
  }
  ssize_t Write(int fd, const void* b, size_t n) override {
    dirty_ = dirty_ || fd == fd_;
    return FaultSys::Write(fd, b, n);
  }
  int Fsync(int fd) override {
    if (fd == fd_) dirty_ = false;
    return FaultSys::Fsync(fd);
  }
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
    if (std::string(name).find("del-") == std::string::npos) return;
    if (dirty_ || test::ReadFile(journal_).find(name) == std::string::npos) early.push_back(name);
    if (++steps == signal_at) ::kill(::getpid(), signal);
  }
  std::string journal_;
  int fd_ = -1;
  bool dirty_ = false;
};

class DurabilityTest : public test::EngineTest {
 protected:
  DurabilityTest() : test::EngineTest(sys) {}
  // Five due files of 1 MB, and the doubles' state of a fresh run.
  void Fresh() {
    sys.early.clear();
    sys.steps = sys.signal_at = sys.signal = 0;
    sys.bind_mount = false;
    sys.space.reset();
    std::filesystem::remove_all(tree.Path());
    std::filesystem::remove_all(JournalFolder(fn));
    for (int i = 0; i < 5; ++i)
      test::MakeFile(data + "/f" + std::to_string(i) + " del-01-01-2020.bin", 1000000,
                     At(2019, 1, 1));
    Cfg().Filename(home / "weekly.ksp");
    Cfg().QuarantineFolder(tree / "q");
    Cfg().IncludeFolders().assign(1, Folder2Clean(data, false));
    Cfg().LastRunDate(At(2026, 12, 5, 22, 0, 0));
  }
  // Outcomes by kind: "moved", "failed 125", ...; "pending" for an intent without one. None
  // without a journal (a run that moved nothing keeps none).
  std::map<std::string, int> Outcomes() {
    RunJournal run;
    const auto runs = ListRuns(RealSys(), JournalFolder(fn));
    EXPECT_LE(runs.size(), 1u);
    if (runs.empty()) return {};
    EXPECT_EQ(ReadJournal(RealSys(), JournalFolder(fn), runs.at(0), run), 0);
    EXPECT_EQ(std::make_pair(run.ended, run.version), std::make_pair(true, 2));
    std::map<std::string, int> out;
    for (const Entry& e : run.entries)
      ++out[e.state == State::kMoved    ? std::string("moved")
            : e.state == State::kFailed ? "failed " + std::to_string(e.error)
                                        : "pending"];
    return out;
  }

  inline static OrderSys sys;
  test::TempDir tree;
  std::string data = tree / "data";
};

// Each row is a silent run in a child. A signal raised at the second step that changes a due
// file stops the run once that file is moved, with its warning before the summary and exit
// status 1.
TEST_F(DurabilityTest, EveryMoveIsOnRecordBeforeItHappensAndASignalStopsTheRun) {
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
      {"SIGHUP amid a copy", true, 0, 100, SIGHUP, {{"moved", 1}, {"failed 125", 4}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Fresh();
    sys.bind_mount = c.bind_mount;
    if (c.free_blocks != 0) sys.space = {c.free_blocks, 4096};
    sys.signal_at = c.signal != 0 ? 2 : 0, sys.signal = c.signal;
    Cfg().MaxMBPerRun(c.max_mb);
    ASSERT_TRUE(Cfg().Save());
    const pid_t child = ::fork();
    if (child == 0) {
      std::freopen("/dev/null", "w", stdout);
      const int status = Main(fn, {"-s:" + Cfg().Filename()}, [](Functions&) { return 2; });
      for (const std::string& name : sys.early)
        std::fprintf(stderr, "moved early: %s\n", name.c_str());
      _exit(sys.early.empty() ? status : 99);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), c.signal != 0 ? 1 : 0);
    EXPECT_EQ(Outcomes(), c.outcomes);
    const int moved = c.outcomes.count("moved") != 0 ? c.outcomes.at("moved") : 0;
    EXPECT_EQ(test::Names(tree / "q").size(), static_cast<size_t>(moved));
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
