#include "preview/preview.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <random>

#include "cleanup/run_control.h"
#include "support/engine_fixture.h"

namespace kestrel {
namespace {

using test::At;
namespace fs = std::filesystem;

using test::MakeFile;

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
  // stamped after its date, or a due folder with a due file inside.
  void MakeEntry(std::mt19937& rng, const std::string& folder, int n) {
    const std::int64_t size = std::uniform_int_distribution<std::int64_t>(0, 400000)(rng);
    const std::string p = folder + "/f" + std::to_string(n);
    switch (std::uniform_int_distribution<int>(0, 7)(rng)) {
      case 0:
        return MakeFile(p + ".txt", size, At(2020, 1, 1));
      case 1:
      case 2:
        return MakeFile(p + " del-11-30-2026.txt", size, At(2026, 1, 1));
      case 3:
        MakeFile(p + " del-01-02-2025.ro", size, At(2024, 1, 1));
        ::chmod((p + " del-01-02-2025.ro").c_str(), 0444);
        return;
      case 4:
        return MakeFile(p + " del-12-07-2026.txt", size, At(2026, 1, 1));
      case 5:
        return MakeFile(p + " del-02-30-2026.txt", size, At(2020, 1, 1));
      case 6:
        return MakeFile(p + " del-06-01-2026.txt", size, At(2026, 7, 1));
      default:
        MakeFile(p + " del-10-10-2026/inner del-10-10-2026.txt", size, At(2026, 1, 1));
        test::SetStamp(p + " del-10-10-2026", At(2026, 1, 1));
    }
  }
  void MakeLevel(std::mt19937& rng, const Shape& s, const std::string& folder, int level) {
    fs::create_directories(folder);
    for (int i = 0; i < s.files; ++i) MakeEntry(rng, folder, i);
    if (level == s.depth) return;
    for (int i = 0; i < s.fanout; ++i) {
      MakeLevel(rng, s, folder + "/d" + std::to_string(i), level + 1);
    }
  }
  // Paths and sizes of everything below the folder.
  static std::vector<std::string> Listing(const std::string& folder) {
    std::vector<std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(folder)) {
      out.push_back(e.path().string() + " " +
                    (e.is_regular_file() ? std::to_string(e.file_size()) : "dir"));
    }
    std::sort(out.begin(), out.end());
    return out;
  }

  // A file's text without what differs between two runs over a tree made again: the
  // file-system identities and inode numbers of journal intents and moves, and the Trash's
  // deletion times (the real clock's).
  static std::string WithoutIdentities(const std::string& text) {
    std::string out;
    for (const std::string& line : test::Lines(text)) {
      if (line.starts_with("DeletionDate=")) continue;
      std::vector<std::string> fields(1);
      for (const char c : line) {
        if (c == '\t') {
          fields.emplace_back();
        } else {
          fields.back().push_back(c);
        }
      }
      // intent: the file's identity at 7 and 8, its include folder's at 12 and 13; moved: 5 and 6.
      const std::vector<size_t> identity =
          fields[0] == "intent"  ? std::vector<size_t>{7, 8, 12, 13}
          : fields[0] == "moved" ? std::vector<size_t>{5, 6}
                                 : std::vector<size_t>{};
      for (const size_t i : identity) {
        EXPECT_LT(i, fields.size()) << line;
        if (i < fields.size()) fields[i] = "?";
      }
      for (const auto& f : fields) out += f + "\t";
      out += "\n";
    }
    return out;
  }

  test::TempDir tree;
};

TEST_P(PreviewTest, ListsWhatTheRunThenMovesInItsOrderAndStopsWhereItStops) {
  const Shape& s = GetParam();
  std::mt19937 rng(s.seed);
  const std::string data = tree / "data";
  MakeLevel(rng, s, data, 0);
  test::EnvVar xdg("XDG_DATA_HOME", tree / "share");
  Cfg().Filename(home / "weekly.ksp");
  Cfg().QuarantineFolder(s.trash ? "" : tree / "quarantine");
  Cfg().MaxMBPerRun(s.max_mb);
  Cfg().MaxErrorsPerRun(s.max_errors);
  Cfg().IncludeFolders().emplace_back(data, true);
  if (s.overlap) Cfg().IncludeFolders().emplace_back(data + "/d0", true);
  if (s.exclude) Cfg().ExcludeFolders().emplace_back(data + "/d1", true);
  ASSERT_TRUE(Cfg().Save());
  Cfg().LastRunDate(s.clock_behind ? clock.Now() : At(2026, 12, 1));
  const std::string config_before = test::ReadFile(home / "weekly.ksp");
  const auto tree_before = Listing(tree.Path());

  const PreviewResult preview = Preview(fn.World(), Cfg());

  EXPECT_EQ(Listing(tree.Path()), tree_before);
  EXPECT_EQ(test::ReadFile(home / "weekly.ksp"), config_before);
  EXPECT_FALSE(fs::exists(home / "Kestrel.log"));
  EXPECT_EQ(fn.FoldersScanned, 0);
  EXPECT_TRUE(fn.WarningRpt->Warnings().empty());
  std::vector<std::string> foreseen;
  for (const PreviewItem& item : preview.items) {
    foreseen.push_back(item.kind == PreviewItem::Kind::kMove
                           ? "[File Moved] " + item.path + " " + std::to_string(item.size)
                           : "[Warning] " + item.text);
  }

  std::vector<std::string> done;
  fn.FileRemovalRpt->FileMoved.Subscribe([&](const RemovedFilePtr& f) {
    done.push_back("[File Moved] " + f->OriginalFilename() + " " + std::to_string(f->FileSize()));
  });
  fn.WarningRpt->WarningIssued.Subscribe(
      [&](const std::string& w) { done.push_back("[Warning] " + w); });
  ASSERT_TRUE(CleanUp(fn.World(), Cfg()));

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
}

// Folders are listed on several threads, but the run does and writes what it does on one.
TEST_P(PreviewTest, RunOnSeveralListingThreadsMatchesTheRunOnOne) {
  const Shape& s = GetParam();
  test::EnvVar xdg("XDG_DATA_HOME", tree / "share");
  Cfg().QuarantineFolder(s.trash ? "" : tree / "quarantine");
  Cfg().MaxMBPerRun(s.max_mb);
  Cfg().MaxErrorsPerRun(s.max_errors);
  Cfg().IncludeFolders().emplace_back(tree / "data", true);
  if (s.overlap) Cfg().IncludeFolders().emplace_back(tree / "data/d0", true);
  if (s.exclude) Cfg().ExcludeFolders().emplace_back(tree / "data/d1", true);
  std::string events;
  fn.FileRemovalRpt->FileMoved.Subscribe(
      [&](const RemovedFilePtr& f) { events += f->OriginalFilename() + "\n"; });
  fn.WarningRpt->WarningIssued.Subscribe([&](const std::string& w) { events += w + "\n"; });
  // What a run leaves: its events, then every file of the tree and of the program folder.
  auto run = [&](const char* threads) {
    for (const std::string& gone : {tree / "data", tree / "quarantine", tree / "share",
                                    home / "journal", home / "Kestrel.log"})
      fs::remove_all(gone);
    std::mt19937 rng(s.seed);
    MakeLevel(rng, s, tree / "data", 0);
    test::EnvVar count("KESTREL_THREADS", threads);
    events.clear();
    fn.FoldersScanned = 0;
    Cfg().LastRunDate(s.clock_behind ? clock.Now() : At(2026, 12, 1));
    EXPECT_TRUE(CleanUp(fn.World(), Cfg()));
    std::map<std::string, std::string> left{{"", events + std::to_string(fn.FoldersScanned)}};
    for (const fs::path root : {tree.Path(), home.Path()}) {
      for (const auto& e : fs::recursive_directory_iterator(root))
        left[e.path()] = e.is_regular_file() ? WithoutIdentities(test::ReadFile(e.path())) : "folder";
    }
    return left;
  };
  const auto one = run("1"), several = run("4");
  EXPECT_EQ(several.size(), one.size());
  for (const auto& [path, text] : one)
    EXPECT_EQ(several.count(path) != 0 ? several.at(path) : "(none)", text) << path;
}

// Closing the preview window asks it to stop, as the Stop button asks a run.
TEST_F(PreviewTest, StopRequestEndsThePreviewAsItWouldEndTheRun) {
  MakeFile(tree / "data/a del-11-30-2026.txt", 5, At(2026, 1, 1));
  Cfg().IncludeFolders().emplace_back(tree / "data", true);
  Cfg().LastRunDate(At(2026, 12, 1));
  RunControl control;
  control.stop = true;
  const PreviewResult preview = Preview(fn.World(), Cfg(), &control);
  EXPECT_STREQ(EndName(preview), "stopped");
  EXPECT_EQ(preview.files, 0);
}

class PreviewRunTest : public PreviewTest {
 protected:
  // Three due files in data/dirA and three in data/dirB, dirB excluded; the preview of that.
  PreviewResult PreviewOfDirA() {
    for (const char* dir : {"dirA/", "dirB/"}) {
      for (const char* name : {"a", "b", "c"}) {
        MakeFile(tree / "data/" + dir + name + " del-11-30-2026.txt", 5, At(2026, 1, 1));
      }
    }
    Cfg().IncludeFolders().emplace_back(tree / "data", true);
    Cfg().ExcludeFolders().emplace_back(tree / "data/dirB", true);
    Cfg().QuarantineFolder(tree / "q");
    Cfg().LastRunDate(At(2026, 12, 1));
    return Preview(fn.World(), Cfg());
  }
  std::vector<std::string> Sorted(std::vector<std::string> v) {
    std::sort(v.begin(), v.end());
    return v;
  }
  std::vector<std::string> Moved() {
    std::vector<std::string> moved;
    for (const auto& r : Cfg().RemovedFiles()) {
      if (r->FileMoved()) moved.push_back(r->OriginalFilename());
    }
    return Sorted(moved);
  }
};

// Regression: with the exclude removed after the preview, its Run moved dirB's files too.
TEST_F(PreviewRunTest, MovesWhatThePreviewListedAndNothingElse) {
  const PreviewResult preview = PreviewOfDirA();
  ASSERT_EQ(preview.files, 3);
  Cfg().ExcludeFolders().clear();
  const std::vector<ListedFile> listed = ListedFiles(preview);
  ASSERT_TRUE(CleanUp(fn.World(), Cfg(), nullptr, &listed));
  const std::string a = tree / "data/dirA/";
  EXPECT_EQ(Moved(),
            (std::vector<std::string>{a + "a del-11-30-2026.txt", a + "b del-11-30-2026.txt",
                                      a + "c del-11-30-2026.txt"}));
  EXPECT_EQ(Listing(tree / "data/dirB").size(), 3u);
  EXPECT_TRUE(fn.WarningRpt->Warnings().empty());
}

// A listed file gone, or another file in its place, is warned of and is no error: with an
// error limit of 1, the run still reaches the third file.
TEST_F(PreviewRunTest, LeavesWhatChangedSinceThePreviewWithAWarning) {
  const PreviewResult preview = PreviewOfDirA();
  const std::string a = tree / "data/dirA/";
  fs::remove(a + "a del-11-30-2026.txt");
  MakeFile(a + "new", 5, At(2026, 1, 1));
  fs::rename(a + "new", a + "b del-11-30-2026.txt");
  Cfg().MaxErrorsPerRun(1);
  const std::vector<ListedFile> listed = ListedFiles(preview);
  ASSERT_TRUE(CleanUp(fn.World(), Cfg(), nullptr, &listed));
  EXPECT_EQ(Moved(), (std::vector<std::string>{a + "c del-11-30-2026.txt"}));
  EXPECT_EQ(Sorted(fn.WarningRpt->Warnings()),
            (std::vector<std::string>{
                "Not moved, changed since the preview: " + a + "a del-11-30-2026.txt",
                "Not moved, changed since the preview: " + a + "b del-11-30-2026.txt"}));
  EXPECT_TRUE(fs::exists(a + "b del-11-30-2026.txt"));
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
