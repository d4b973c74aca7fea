#include <sys/stat.h>
#include <unistd.h>

#include <gmock/gmock.h>

#include <cstring>

#include "cleanup/clean_up_run.h"
#include "cleanup/disk_mover.h"
#include "cleanup/report_recorder.h"
#include "cleanup/run_control.h"
#include "support/engine_fixture.h"
#include "support/fault_sys.h"
#include "support/second_fs.h"

namespace kestrel {
namespace {

using test::At;
using test::Lines;
using test::MakeFile;
namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

// The real calls with faults of their own: a file named "vanish..." goes right after its
// first reading, the judgement's; another run makes a folder named "raced..." between the run's
// look and its mkdir.
struct CleanUpSys : test::FaultSys {
  int StatX(int dirfd, const char* path, int flags, unsigned int mask, struct statx* out) override {
    const int rc = FaultSys::StatX(dirfd, path, flags, mask, out);
    if (rc == 0 && std::strstr(path, "/vanish") != nullptr) ::unlinkat(dirfd, path, 0);
    return rc;
  }
  int MkdirAt(int dirfd, const char* path, mode_t mode) override {
    if (std::strstr(path, "raced") != nullptr) FaultSys::MkdirAt(dirfd, path, mode);
    return FaultSys::MkdirAt(dirfd, path, mode);
  }
};

class CleanUpTest : public test::EngineTest {
 protected:
  CleanUpTest() : test::EngineTest(sys) {}
  void SetUp() override {
    sys.space.reset();
    Cfg().Filename(home / "weekly.ksp");
    Cfg().QuarantineFolder(quarantine);
    Cfg().IncludeFolders().emplace_back(data, true);
    ASSERT_TRUE(Cfg().Save());
    Cfg().LastRunDate(At(2026, 12, 5, 22, 0, 0));
  }
  std::string Due(const std::string& name, std::int64_t size = 10) {
    MakeFile(data + "/" + name, size, At(2026, 1, 1));
    return data + "/" + name;
  }
  // The log's lines without their own stamp.
  std::vector<std::string> LogLines() {
    std::vector<std::string> out;
    for (const auto& l : Lines(LogText())) {
      const auto end = l.find("] ");
      out.push_back(l.front() == '[' && end != std::string::npos ? l.substr(end + 2) : l);
    }
    return out;
  }
  static inline CleanUpSys sys;
  test::TempDir tree;
  std::string data = tree / "data", quarantine = tree / "quarantine";
};

// Three due files of 0.6 MB, one in each of three include folders (in list order, so that no
// folder's own order matters). A limit or a stop ends the run with its line and the summary.
TEST_F(CleanUpTest, LimitsAndStopsEndTheRunWithTheirLine) {
  const std::string
      mb = "File removal was stopped because the maximum MB per run setting was reached.",
      errors = "File removal was stopped because the maximum number of errors was reached.",
      stopped = "Run stopped by the user",
      clock_text = "Today's date is prior to the previously recorded run date";
  const auto ro = [&](int n) {
    return "File cannot be moved because it is read-only: " + data + "/" + std::to_string(n) +
           "/f del-12-01-2026.txt";
  };
  enum { kPlain, kReadOnly, kClockBehind, kStopBefore, kStopOnFirstMove };
  const struct {
    const char* what;
    int max_mb, max_errors, setup;
    Strings ends;  // the lines after the scans, before the summary; warnings too unless stopped
    int folders, moved;
    const char* total_mb;
  } cases[] = {
      {"clock at the last run", 50, 10, kClockBehind, {clock_text}, 0, 0, ""},
      {"MB limit: stops after the move that reaches it", 1, 10, kPlain, {mb}, 3, 2, "1.20"},
      {"MB limit 0 still lets the first move through", 0, 10, kPlain, {mb}, 3, 1, "0.60"},
      {"error limit: each failure counts", 50, 2, kReadOnly, {ro(1), ro(2), errors}, 3, 0, "0.00"},
      {"stop before the scan scans nothing", 50, 10, kStopBefore, {stopped}, 0, 0, "0.00"},
      {"stop on a move: no further file goes", 50, 10, kStopOnFirstMove, {stopped}, 3, 1, "0.60"},
  };
  RunControl control;
  bool stop_on_move = false;
  fn.FileRemovalRpt->FileMoved.Subscribe(
      [&](auto&) { control.stop = control.stop || stop_on_move; });
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(data);
    Cfg().IncludeFolders().clear();
    for (int n = 1; n <= 3; ++n) {
      const std::string file = Due(std::to_string(n) + "/f del-12-01-2026.txt", 600000);
      if (c.setup == kReadOnly) ::chmod(file.c_str(), 0400);
      Cfg().IncludeFolders().emplace_back(data + "/" + std::to_string(n), false);
    }
    Cfg().MaxMBPerRun(c.max_mb);
    Cfg().MaxErrorsPerRun(c.max_errors);
    Cfg().LastRunDate(c.setup == kClockBehind ? clock.Now() : At(2026, 12, 5, 22, 0, 0));
    control.folders_scanned = 0;
    control.stop = c.setup == kStopBefore;
    stop_on_move = c.setup == kStopOnFirstMove;
    fn.FoldersScanned = 0;
    const size_t warned_before = fn.WarningRpt->Warnings().size();
    const bool stop = c.setup == kStopBefore || c.setup == kStopOnFirstMove;
    Strings expected;
    if (c.setup != kClockBehind) expected.push_back("Last run date was 2026-12-05 22:00:00");
    for (int n = 1; n <= c.folders; ++n)
      expected.push_back("Scanning Folder: " + data + "/" + std::to_string(n));
    expected.insert(expected.end(), c.ends.begin(), c.ends.end());
    if (c.setup != kClockBehind) {
      expected.insert(expected.end(), {"Folders scanned: " + std::to_string(c.folders),
                                       "Files moved or deleted: " + std::to_string(c.moved),
                                       std::string("Total MB moved or deleted: ") + c.total_mb,
                                       "Elapsed time: 0.0 seconds", "Kestrel completed"});
    }

    ASSERT_TRUE(CleanUp(fn.World(), Cfg(), &control));
    const auto lines = LogLines();
    EXPECT_EQ(Strings(lines.begin() + 1, lines.end()), expected);
    const auto warnings = fn.WarningRpt->Warnings();
    EXPECT_EQ(Strings(warnings.begin() + warned_before, warnings.end()), stop ? Strings() : c.ends);
    EXPECT_EQ(std::ranges::count_if(Cfg().RemovedFiles(), [](auto& r) { return r->FileMoved(); }),
              c.moved);
    EXPECT_EQ(test::Names(quarantine).size(), static_cast<size_t>(c.moved));
    EXPECT_EQ(control.folders_scanned, c.folders);
    if (c.setup == kClockBehind || stop) {
      EXPECT_EQ(EntryText(fn.FileRemovalRpt->Entries().back()), c.ends.back());
    }
    for (const auto& n : test::Names(quarantine)) fs::remove(quarantine + "/" + n);
    clock.Advance(60);
  }
}

// A marked folder counts the files below it (a hard link once, a link at its own size), and
// what lay inside a folder the run moved is passed over without an error.
TEST_F(CleanUpTest, MarkedFolderCountsItsFilesAndTakesItsContentsAlong) {
  // The MB limit; what is left in data after the run (the folder alone reaches 3 MB); the count.
  for (const auto& [limit, left, files] :
       {std::tuple<int, Strings, int>{3, {"z del-12-01-2026.txt"}, 1}, {4, {}, 2}}) {
    SCOPED_TRACE(limit);
    for (const std::string& gone : {data, quarantine}) fs::remove_all(gone);
    const std::string proj = data + "/proj del-12-01-2026";
    MakeFile(proj + "/big.bin", 3000000, At(2026, 1, 1));
    fs::create_hard_link(proj + "/big.bin", proj + "/same.bin");
    MakeFile(proj + "/sub/in del-11-01-2026.txt", 499993, At(2026, 1, 1));
    fs::create_symlink("big.bin", proj + "/l");  // 7 bytes
    test::SetStamp(proj, At(2026, 1, 1));
    Due("z del-12-01-2026.txt", 0);
    Cfg().MaxMBPerRun(limit);
    clock.Advance(60);
    ASSERT_TRUE(CleanUp(fn.World(), Cfg()));
    EXPECT_EQ(test::Names(data), left);
    EXPECT_EQ(Cfg().RemovedFiles().front()->FileSize(), 3500000);
    EXPECT_THAT(LogLines(),
                testing::IsSupersetOf({"Files moved or deleted: " + std::to_string(files),
                                       std::string("Total MB moved or deleted: 3.50")}));
    EXPECT_TRUE(reporter.reports.empty());
  }
}

// A path listed twice is moved once and its second visit is no error; a second run keeps
// only its own records, and the count of folders goes on.
TEST_F(CleanUpTest, PathListedTwiceIsMovedOnceAndASecondRunKeepsItsOwnRecords) {
  Due("sub/b del-12-01-2026.txt");
  Cfg().IncludeFolders().emplace_back(data + "/sub", false);
  Cfg().MaxErrorsPerRun(1);
  ASSERT_TRUE(CleanUp(fn.World(), Cfg()));
  EXPECT_EQ(test::Names(quarantine), std::vector<std::string>{"b del-12-01-2026.txt"});
  EXPECT_THAT(Locations(), testing::ElementsAre(testing::StartsWith("KestrelCfg.FileIsExpired\n")));
  EXPECT_TRUE(fn.WarningRpt->Warnings().empty());  // no error limit reached
  EXPECT_EQ(LogLines()[LogLines().size() - 5], "Folders scanned: 3");

  clock.Advance(3600);
  Due("a del-12-01-2026.txt");
  ASSERT_TRUE(CleanUp(fn.World(), Cfg()));
  EXPECT_EQ(fn.FileRemovalRpt->Entries().size(), 2u);
  EXPECT_EQ(LogLines()[1], "Last run date was 2026-12-06 10:00:00");
  EXPECT_EQ(LogLines()[LogLines().size() - 5], "Folders scanned: 6");
}

// Made meanwhile by another run is no error. A file gone before its move is reported and not
// recorded.
TEST_F(CleanUpTest, QuarantineFolderIsCreatedOrTheRunEndsThroughItsHandler) {
  for (const char* made : {"new-q", "raced-q"}) {
    Cfg().QuarantineFolder(tree / made);
    const std::string a = Due("a del-12-01-2026.txt");
    Due("vanish del-12-01-2026.txt");
    ASSERT_TRUE(CleanUp(fn.World(), Cfg()));
    EXPECT_TRUE(fs::exists(tree / made + "/a del-12-01-2026.txt"));
    ASSERT_EQ(Cfg().RemovedFiles().size(), 1u);
    EXPECT_EQ(Cfg().RemovedFiles()[0]->OriginalFilename(), a);
    clock.Advance(60);
  }
  EXPECT_EQ(Locations(), std::vector<std::string>(2, "KestrelCfg.MoveIt\nWin32Wrapper.Stat"));
  EXPECT_TRUE(fn.WarningRpt->Warnings().empty());

  test::WriteFile(tree / "a-file", "x");
  for (const auto& [folder, location, description_start] :
       {std::tuple<std::string, const char*, const char*>{
            tree / "a-file", "KestrelCfg.CleanUp\nKestrelCfg.CleanUp",
            "The quarantine folder cannot be created because a file with the same name exists"},
        {tree / "no/parent", "KestrelCfg.CleanUp\nWin32Wrapper.CreateFolder", "mkdir"}}) {
    clock.Advance(60);
    reporter.reports.clear();
    Cfg().QuarantineFolder(folder);
    EXPECT_FALSE(CleanUp(fn.World(), Cfg()));
    ASSERT_EQ(Locations(), std::vector<std::string>{location});
    EXPECT_EQ(reporter.reports[0].description.rfind(description_start, 0), 0u);
    EXPECT_EQ(LogLines().size(), 2u);  // start and last run date: no summary
  }
}

TEST_F(CleanUpTest, RunsNeverScanTheirOwnDestinations) {
  test::EnvVar data_home("XDG_DATA_HOME", data + "/share");
  Due("b del-12-01-2026.txt");
  // The quarantine folder inside the include tree, named through a link.
  fs::create_directories(data + "/q");
  ASSERT_EQ(::symlink((data + "/q").c_str(), (tree / "q-link").c_str()), 0);
  for (const std::string& destination : {std::string(), tree / "q-link"}) {
    Cfg().QuarantineFolder(destination);
    Due("a del-12-01-2026.txt");
    ASSERT_TRUE(CleanUp(fn.World(), Cfg()));
    clock.Advance(60);
    ASSERT_TRUE(CleanUp(fn.World(), Cfg()));
    EXPECT_TRUE(Cfg().RemovedFiles().empty()) << destination;
    clock.Advance(60);
  }
  EXPECT_EQ(test::Names(data + "/share/Trash/files"),
            (std::vector<std::string>{"a del-12-01-2026.txt", "b del-12-01-2026.txt"}));
  EXPECT_EQ(test::Names(data + "/share/Trash/info").size(), 2u);
  EXPECT_EQ(test::Names(data + "/q"), (std::vector<std::string>{"a del-12-01-2026.txt"}));

  // Include folders inside the destinations, named through a link or not.
  Cfg().IncludeFolders().clear();
  for (const std::string& folder : {data + "/share/Trash/files/sub", tree / "q-link/sub"}) {
    MakeFile(folder + "/c del-12-01-2026.txt", 10, At(2026, 1, 1));
    Cfg().IncludeFolders().emplace_back(folder, true);
  }
  ASSERT_TRUE(CleanUp(fn.World(), Cfg()));
  EXPECT_TRUE(Cfg().RemovedFiles().empty());
}

// Free space is asked only when the move crosses file systems.
TEST_F(CleanUpTest, InsufficientSpaceOnlyAcrossFileSystems) {
  test::SecondFileSystem other;
  if (other.Path().empty()) GTEST_SKIP() << "no second file system here";
  sys.space = {{0, 4096}};
  const std::string a = Due("a del-12-01-2026.txt", 5), e = Due("e del-12-01-2026.txt", 0);
  Cfg().QuarantineFolder(other.Path());
  ASSERT_TRUE(CleanUp(fn.World(), Cfg()));
  EXPECT_EQ(fn.WarningRpt->Warnings(), (std::vector<std::string>{"Insufficient space available"}));
  std::vector<std::tuple<std::string, bool, bool>> records;  // path, moved, refused for space
  for (const auto& r : Cfg().RemovedFiles())
    records.emplace_back(r->OriginalFilename(), r->FileMoved(), r->InsufficientSpace());
  std::sort(records.begin(), records.end());
  EXPECT_EQ(records, (decltype(records){{a, false, true}, {e, true, false}}));
  EXPECT_EQ(test::Names(other.Path()), std::vector<std::string>{"e del-12-01-2026.txt"});
  clock.Advance(60);
  Cfg().QuarantineFolder(quarantine);
  ASSERT_TRUE(CleanUp(fn.World(), Cfg()));
  EXPECT_TRUE(fs::exists(quarantine + "/a del-12-01-2026.txt"));
}

// A copy is only said moved once its group is durable and named: one whose name cannot be
// given then keeps its source and is no move in the log or the records.
TEST_F(CleanUpTest, ACopyThatFailsWhenItsGroupEndsIsNotSaidMoved) {
  test::SecondFileSystem other;
  if (other.Path().empty()) GTEST_SKIP() << "no second file system here";
  const std::string a = Due("a del-12-01-2026.txt"), e = Due("e del-12-01-2026.txt");
  sys.Fail(test::Op::kLinkAt, EIO, 0, "a del-");
  Cfg().QuarantineFolder(other.Path());
  ASSERT_TRUE(CleanUp(fn.World(), Cfg()));
  std::vector<std::pair<std::string, bool>> records;  // path, moved
  for (const auto& r : Cfg().RemovedFiles())
    records.emplace_back(r->OriginalFilename(), r->FileMoved());
  EXPECT_THAT(records, ::testing::UnorderedElementsAre(std::pair{a, false}, std::pair{e, true}));
  EXPECT_TRUE(fs::exists(a));
  const std::string log = LogText();
  EXPECT_EQ(log.find("[File Moved] " + a), std::string::npos) << log;
  EXPECT_NE(log.find("Files moved or deleted: 1\n"), std::string::npos) << log;
}

// Now is 2026-12-06 10:00:00.
using JudgeTest = test::EngineTest;

// Each file is named and stamped so that the name alone decides, or the stamp warns. The date
// is read after the first token only.
TEST_F(JudgeTest, JudgesTheDateInTheNameAgainstNowAndTheStamp) {
  ReportRecorder recorder{world, Cfg()};
  DiskMover mover{fn.Outside().sys, nullptr};
  std::vector<RemovedFilePtr> records;
  CleanUpRun run{world, Cfg(), recorder, mover, records};
  const struct {
    const char* name;  // in the test folder (folders are created)
    DateTime stamp;    // its last-write time
    bool expired, warned;
  } cases[] = {
      {"yesterday del-12-05-2026.txt", At(2026, 12, 4, 8), true, false},
      {"today del-12-06-2026.txt", At(2026, 12, 5, 8), true, false},
      {"written today del-12-06-2026.txt", At(2026, 12, 6, 9), false, true},
      {"stamp at midnight del-12-06-2026.txt", At(2026, 12, 6), true, false},
      {"tomorrow del-12-07-2026.txt", At(2026, 1, 1), false, false},
      {"next year del-12-06-2027.txt", At(2026, 1, 1), false, false},
      {"no such day del-02-30-2026.txt", At(2026, 1, 1), false, false},
      {"month 13 del-13-01-2026.txt", At(2026, 1, 1), false, false},
      {"upper DEL-04-01-2026.txt", At(2026, 1, 1), true, false},
      {"del-me del-01-02-2020.txt", At(2019, 1, 1), false, false},
      {"del-old/report del-01-02-2020.txt", At(2019, 1, 1), false, false},
      {"spaces del- 1- 2-2020.txt", At(2019, 1, 1), false, false},
      {"future stamp del-xx-xx-xxxx.txt", At(2026, 12, 9), false, true},
      {"plain name.txt", At(2019, 1, 1), false, false},
  };
  std::vector<std::string> warnings;
  for (const auto& c : cases) {
    const std::string path = home / c.name;
    test::MakeFile(path, 1, c.stamp);
    Win32Wrapper::FileInfo info;
    EXPECT_EQ(run.FileIsExpired(path, info), c.expired) << c.name;
    if (c.warned) warnings.push_back("Deletion date is before file creation date: " + path);
  }
  EXPECT_EQ(fn.WarningRpt->Warnings(), warnings);
  EXPECT_TRUE(reporter.reports.empty());
  // Without a token the date must open the path; a date that does not parse means tomorrow.
  const DateTime now = clock.Now(), tomorrow = At(2026, 12, 7, 10, 0, 0);
  EXPECT_EQ(ExtractExpiryDate("/x/a del-03-31-20", "del-", now), tomorrow);
  EXPECT_EQ(ExtractExpiryDate("01-01-2020", "", now), At(2020, 1, 1));
  EXPECT_EQ(ExtractExpiryDate("/x/01-01-2020", "", now), tomorrow);
}

}  // namespace
}  // namespace kestrel
