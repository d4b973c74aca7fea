#include "preview/preview.h"

#include <gmock/gmock.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <sstream>

#include "cleanup/run_control.h"
#include "preview/forecast.h"
#include "support/engine_fixture.h"

namespace kestrel {
namespace {

using test::At;
namespace fs = std::filesystem;

using test::MakeFile;
using ::testing::UnorderedElementsAre;

// A generated tree and the configuration over it. Now is 2026-12-06 10:00:00.
struct Shape {
  unsigned seed;
  int depth;            // folder levels below the include folder
  int fanout;           // subfolders per folder
  int files;            // entries per folder
  std::int32_t max_mb;  // limits that bite
  std::int32_t max_errors;
  bool trash;         // no quarantine folder: the Trash
  bool overlap;       // a second include entry inside the first: paths listed twice
  bool exclude;       // one subfolder excluded
  bool clock_behind;  // the last run date stands at now
};

class PreviewTest : public test::EngineTest, public ::testing::WithParamInterface<Shape> {
 protected:
  // One entry of a random kind: unmarked, due, due read-only, not yet due, no real date,
  // stamped after its date, or a due folder with a due file inside, or one stamped after the
  // folder's date (the first in its path).
  void MakeEntry(std::mt19937& rng, const std::string& folder, int n) {
    const std::int64_t size = std::uniform_int_distribution<std::int64_t>(0, 400000)(rng);
    const std::string p = folder + "/f" + std::to_string(n);
    const struct {
      const char* suffix;
      DateTime stamp;
    } kinds[] = {{".txt", At(2020, 1, 1)},
                 {" del-11-30-2026.txt", At(2026, 1, 1)},
                 {" del-11-30-2026.txt", At(2026, 1, 1)},
                 {" del-01-02-2025.ro", At(2024, 1, 1)},
                 {" del-12-07-2026.txt", At(2026, 1, 1)},
                 {" del-02-30-2026.txt", At(2020, 1, 1)},
                 {" del-06-01-2026.txt", At(2026, 7, 1)},
                 {" del-10-10-2026/inner del-10-10-2026.txt", At(2026, 1, 1)},
                 {" del-10-10-2026/late del-12-25-2026.txt", At(2026, 11, 1)}};
    const auto& k = kinds[std::uniform_int_distribution<int>(0, 8)(rng)];
    MakeFile(p + k.suffix, size, k.stamp);
    if (std::string_view(k.suffix).ends_with(".ro")) ::chmod((p + k.suffix).c_str(), 0444);
    if (std::string_view(k.suffix).find('/') != std::string_view::npos)
      test::SetStamp(p + " del-10-10-2026", At(2026, 1, 1));
  }
  void MakeLevel(std::mt19937& rng, const Shape& s, const std::string& folder, int level) {
    fs::create_directories(folder);
    for (int i = 0; i < s.files; ++i) MakeEntry(rng, folder, i);
    if (level == s.depth) return;
    for (int i = 0; i < s.fanout; ++i)
      MakeLevel(rng, s, folder + "/d" + std::to_string(i), level + 1);
  }
  // A file's text without what differs between two runs over a tree made again: the
  // file-system identities and inode numbers of journal intents (fields 7, 8, 12, 13) and moves
  // (5, 6), and the Trash's deletion times (the real clock's).
  static std::string WithoutIdentities(const std::string& text) {
    std::string out;
    for (const std::string& line : test::Lines(text)) {
      if (line.starts_with("DeletionDate=")) continue;
      const std::set<size_t> masked = line.starts_with("intent\t")  ? std::set<size_t>{7, 8, 12, 13}
                                      : line.starts_with("moved\t") ? std::set<size_t>{5, 6}
                                                                    : std::set<size_t>{};
      std::istringstream fields(line);
      size_t i = 0;
      for (std::string f; std::getline(fields, f, '\t'); ++i)
        out += (masked.count(i) ? "?" : f) + "\t";
      EXPECT_TRUE(masked.empty() || i > *masked.rbegin()) << line;
      out += "\n";
    }
    return out;
  }
  test::TempDir tree;
};

// The preview lists what the run then moves, in its order, and stops where it stops (that it
// changes nothing, PreviewCommandTest holds). Folders are listed on several threads, but the run
// does and writes what it does on one.
TEST_P(PreviewTest, ListsWhatTheRunMovesAndARunOnSeveralListingThreadsMatchesTheRunOnOne) {
  const Shape& s = GetParam();
  test::EnvVar xdg("XDG_DATA_HOME", tree / "share");
  Cfg().Filename(home / "weekly.ksp");
  Cfg().QuarantineFolder(s.trash ? "" : tree / "quarantine");
  Cfg().MaxMBPerRun(s.max_mb);
  Cfg().MaxErrorsPerRun(s.max_errors);
  Cfg().IncludeFolders().emplace_back(tree / "data", true);
  if (s.overlap) Cfg().IncludeFolders().emplace_back(tree / "data/d0", true);
  if (s.exclude) Cfg().ExcludeFolders().emplace_back(tree / "data/d1", true);
  ASSERT_TRUE(Cfg().Save());
  std::vector<std::string> done;
  fn.FileRemovalRpt->FileMoved.Subscribe([&](const RemovedFilePtr& f) {
    done.push_back("[File Moved] " + f->OriginalFilename() + " " + std::to_string(f->FileSize()));
  });
  fn.WarningRpt->WarningIssued.Subscribe(
      [&](const std::string& w) { done.push_back("[Warning] " + w); });
  const auto fresh = [&] {
    for (const std::string& gone : {tree / "data", tree / "quarantine", tree / "share",
                                    home / "journal", home / "Kestrel.log"})
      fs::remove_all(gone);
    std::mt19937 rng(s.seed);
    MakeLevel(rng, s, tree / "data", 0);
    done.clear();
    fn.FoldersScanned = 0;
    Cfg().LastRunDate(s.clock_behind ? clock.Now() : At(2026, 12, 1));
  };
  // What a run leaves: its events, then every file of the tree and of the program folder.
  const auto run = [&](const char* threads) {
    fresh();
    test::EnvVar count("KESTREL_THREADS", threads);
    EXPECT_TRUE(CleanUp(fn.World(), Cfg()));
    std::map<std::string, std::string> left{{"", std::to_string(fn.FoldersScanned)}};
    for (const std::string& line : done) left[""] += "\n" + line;
    for (const fs::path root : {tree.Path(), home.Path()}) {
      for (const auto& e : fs::recursive_directory_iterator(root))
        left[e.path()] =
            e.is_regular_file() ? WithoutIdentities(test::ReadFile(e.path())) : "folder";
    }
    return left;
  };
  fresh();
  const PreviewResult preview = Preview(fn.World(), Cfg());
  EXPECT_EQ(std::make_pair(fn.FoldersScanned, done.size()), std::make_pair(0, size_t{0}));
  std::vector<std::string> foreseen;
  for (const PreviewItem& item : preview.items)
    foreseen.push_back(item.kind == PreviewItem::Kind::kMove
                           ? "[File Moved] " + item.path + " " + std::to_string(item.size)
                           : "[Warning] " + item.text);
  const auto one = run("1");
  EXPECT_EQ(foreseen, done);
  std::int32_t errors = 0;
  for (const auto& r : Cfg().RemovedFiles()) errors += r->FileMoved() ? 0 : 1;
  EXPECT_EQ(preview.errors, errors);
  EXPECT_EQ(preview.folders, fn.FoldersScanned);
  const char* end = s.clock_behind                                            ? "clock_refused"
                    : foreseen.empty()                                        ? "completed"
                    : foreseen.back().find("maximum MB") != std::string::npos ? "mb_limit"
                    : foreseen.back().find("number of errors") != std::string::npos ? "error_limit"
                                                                                    : "completed";
  EXPECT_STREQ(EndName(preview), end);
  const auto several = run("4");
  EXPECT_EQ(several.size(), one.size());
  for (const auto& [path, text] : one)
    EXPECT_EQ(several.count(path) != 0 ? several.at(path) : "(none)", text) << path;
}

// Three due files in data/dirA and three in dirB, dirB excluded for the preview. A stop request
// (closing the window) ends a preview as it ends a run. The preview's Run moves what it listed
// and nothing else: with the exclude removed after it, a regression moved dirB's files too. A
// listed file gone, or another file in its place, is warned of and is no error: with an error
// limit of 1 the run still reaches the third file.
TEST_F(PreviewTest, ItsRunMovesWhatItListedAndWarnsOfWhatChanged) {
  for (const char* dir : {"dirA/", "dirB/"})
    for (const char* name : {"a", "b", "c"})
      MakeFile(tree / "data/" + dir + name + " del-11-30-2026.txt", 5, At(2026, 1, 1));
  Cfg().IncludeFolders().emplace_back(tree / "data", true);
  Cfg().ExcludeFolders().emplace_back(tree / "data/dirB", true);
  Cfg().QuarantineFolder(tree / "q");
  Cfg().LastRunDate(At(2026, 12, 1));
  RunControl control;
  control.stop = true;
  const PreviewResult stopped = Preview(fn.World(), Cfg(), &control);
  EXPECT_EQ(EndName(stopped) + std::string(" ") + std::to_string(stopped.files), "stopped 0");
  const PreviewResult preview = Preview(fn.World(), Cfg());
  ASSERT_EQ(preview.files, 3);
  const std::string a = tree / "data/dirA/";
  Cfg().ExcludeFolders().clear();
  fs::remove(a + "a del-11-30-2026.txt");
  MakeFile(a + "new", 5, At(2026, 1, 1));
  fs::rename(a + "new", a + "b del-11-30-2026.txt");
  Cfg().MaxErrorsPerRun(1);
  const std::vector<ListedFile> listed = ListedFiles(preview);
  ASSERT_TRUE(CleanUp(fn.World(), Cfg(), nullptr, &listed));
  std::vector<std::string> moved;
  for (const auto& r : Cfg().RemovedFiles())
    if (r->FileMoved()) moved.push_back(r->OriginalFilename());
  EXPECT_EQ(moved, (std::vector<std::string>{a + "c del-11-30-2026.txt"}));
  EXPECT_THAT(
      fn.WarningRpt->Warnings(),
      UnorderedElementsAre("Not moved, changed since the preview: " + a + "a del-11-30-2026.txt",
                           "Not moved, changed since the preview: " + a + "b del-11-30-2026.txt"));
  EXPECT_EQ(test::Names(tree / "data/dirB").size(), 3u);
  EXPECT_TRUE(fs::exists(a + "b del-11-30-2026.txt"));
}

// An item that became due after the preview is left for a later run.
TEST_F(PreviewTest, ItsRunPurgesOnlyTheItemsItListed) {
  Cfg().IncludeFolders().emplace_back(tree / "data", true);
  Cfg().QuarantineFolder(tree / "q");
  Cfg().PurgeAfterDays(30);
  for (const char* name : {"old del-11-30-2026.txt", "young del-11-30-2026.txt"}) {
    MakeFile(tree / "data/" + name, 5, At(2026, 1, 1));
    ASSERT_TRUE(CleanUp(fn.World(), Cfg()));
    clock.Advance(29 * 86400);
  }
  const PreviewResult preview = Preview(fn.World(), Cfg());
  ASSERT_EQ(preview.purge, 1);
  clock.Advance(86400);
  const std::vector<ListedFile> listed = ListedFiles(preview);
  ASSERT_TRUE(CleanUp(fn.World(), Cfg(), nullptr, &listed));
  EXPECT_EQ(test::Names(tree / "q"), std::vector<std::string>{"young del-11-30-2026.txt"});
}

// Now is 2026-12-06 10:00:00; the forecast looks 7 days ahead, to 2026-12-13 inclusive. A
// marked folder comes as one item with the bytes below it (3 here, as every file); what it
// holds goes along.
TEST_F(PreviewTest, ForecastGroupsDueNowWithinTheDaysAndNeverDueWithTheReason) {
  const std::pair<const char*, DateTime> files[] = {
      {"b del-12-01-2026.txt", At(2026, 1, 1)},
      {"a del-01-15-2025.txt", At(2024, 1, 1)},
      {"today del-12-06-2026.txt", At(2026, 12, 5)},
      {"written today del-12-06-2026.txt", At(2026, 12, 6, 9)},
      {"long past del-03-01-2020.txt", At(2021, 5, 5)},
      {"no such day del-02-30-2027.txt", At(2026, 1, 1)},
      {"tomorrow del-12-07-2026.txt", At(2026, 1, 1)},
      {"last day del-12-13-2026.txt", At(2026, 1, 1)},
      {"day after del-12-14-2026.txt", At(2026, 1, 1)},
      {"unmarked.txt", At(2020, 1, 1)},
  };
  for (const auto& [name, stamp] : files) MakeFile(tree / name, 3, stamp);
  for (const char* folder : {"/now del-11-30-2026", "/soon del-12-08-2026"}) {
    MakeFile(tree.Path() + folder + "/a del-01-01-2026.txt", 2, At(2025, 1, 1));
    MakeFile(tree.Path() + folder + "/b.txt", 1, At(2025, 1, 1));
    test::SetStamp(tree.Path() + folder, At(2025, 1, 1));
  }
  Cfg().IncludeFolders().emplace_back(tree.Path(), true);
  Cfg().IncludeFolders().emplace_back(tree.Path(), false);  // every path twice

  const Forecast f = MakeForecast(fn.Outside(), Cfg(), 7);

  auto names = [&](const std::vector<ForecastEntry>& entries) {
    std::vector<std::string> out;
    for (const auto& e : entries)
      out.push_back(e.path.substr(tree.Path().size() + 1) + (e.size == 3 ? "" : " size?") +
                    ReasonName(e.never_due));
    return out;
  };
  EXPECT_EQ(names(f.due_now),
            (std::vector<std::string>{"a del-01-15-2025.txt", "now del-11-30-2026",
                                      "b del-12-01-2026.txt", "today del-12-06-2026.txt"}));
  EXPECT_EQ(names(f.due),
            (std::vector<std::string>{"tomorrow del-12-07-2026.txt", "soon del-12-08-2026",
                                      "last day del-12-13-2026.txt"}));
  EXPECT_THAT(names(f.never_due),
              UnorderedElementsAre("long past del-03-01-2020.txtbefore_stamp",
                                   "no such day del-02-30-2027.txtno_date",
                                   "written today del-12-06-2026.txtbefore_stamp"));
  EXPECT_FALSE(std::filesystem::exists(home / "Kestrel.log"));
  EXPECT_TRUE(reporter.reports.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Trees, PreviewTest,
    ::testing::Values(
        // seed depth fanout files  MB errors trash overlap exclude clock_behind
        Shape{1, 0, 0, 60, 50, 100, false, false, false, false},    // flat, nothing bites
        Shape{2, 3, 3, 6, 1, 100, false, false, false, false},      // deep, MB limit
        Shape{3, 2, 4, 8, 50, 3, false, true, false, false},        // overlap, error limit
        Shape{4, 4, 2, 5, 0, 100, false, false, true, false},       // MB 0: one file
        Shape{5, 2, 3, 7, 2, 4, true, false, true, false},          // the Trash
        Shape{6, 1, 8, 12, 1000, 1000, false, true, false, false},  // wide, whole run
        Shape{7, 2, 2, 5, 50, 10, false, false, false, true}));     // clock behind

}  // namespace
}  // namespace kestrel
