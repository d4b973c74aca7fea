#include "cleanup/discovery.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cleanup/report_recorder.h"
#include "fs/list_ahead.h"
#include "support/engine_fixture.h"
#include "support/fault_sys.h"

namespace kestrel {
namespace {

using test::WriteFile;

TEST(ExcludeRule, Decides) {
  // A folder, an exclude entry and its subfolders flag, whether the folder is excluded.
  const std::tuple<const char*, const char*, bool, bool> cases[] = {
      {"/data/old", "/data/old", false, true},
      {"/Data/Old", "/data/OLD", false, true},   // case ignored
      {"/data/old/", "/data/old", false, true},  // trailing separators ignored
      {"/data/old", "/data/old//", false, true},
      {"/data/old/x", "/data/old", false, false},  // no flag: that folder only
      {"/data/old/x", "/data/old", true, true},    // flag without trailing "/"
      {"/data/old/x/y", "/data/old/", true, true},
      {"/data/older", "/data/old", true, false},  // a prefix is not a parent
      {"/data", "/data/old", true, false},
      {"/anything", "/", true, true},  // the root with its flag
      {"/anything", "/", false, false},
      {"/", "/", false, true},
      {"/data", "", true, false},  // an empty entry excludes nothing
  };
  for (const auto& [folder, entry, subs, excluded] : cases)
    EXPECT_EQ(IsExcludedFolder(folder, {Folder2Clean(entry, subs)}), excluded)
        << folder << " vs " << entry;
}

class DiscoveryTest : public test::EngineTest {
 protected:
  DiscoveryTest() : test::EngineTest(sys_) {}
  void SetUp() override {
    root = home / "Data";
    for (const char* f :
         {"a del-01-01-2020.txt", "plain.txt", "Sub/b del-02-02-2020.doc",
          "Sub/Deep/c DEL-03-03-2020", "Old/d del-04-04-2020.txt", "Other/e del-05-05-2020.txt"})
      WriteFile(root + "/" + f, "x");
    std::filesystem::create_directories(root + "/del-01-01-2020 folder");
    Cfg().IncludeFolders().emplace_back(root, true);
  }
  std::vector<std::string> Scan() {
    ReportRecorder recorder(world, Cfg());
    return GetTargetFiles(fn.Outside(), Cfg(), Cfg().IncludeFolders(), Cfg().ExcludeFolders(),
                          BuildFileMask(Cfg()), recorder);
  }
  // The folders of the log's "Scanning Folder" lines.
  std::vector<std::string> ScanLines() {
    std::vector<std::string> out;
    for (const auto& line : test::Lines(LogText())) {
      const auto at = line.find("] Scanning Folder: ");
      if (at != std::string::npos) out.push_back(line.substr(at + 19));
    }
    return out;
  }
  std::string root;
  static inline test::FaultSys sys_;
};

// A folder's own entries before its subfolders', each folder's in byte order of the names
// (upper case first), whatever order the file system lists them in.
TEST_F(DiscoveryTest, FindsMarkedEntriesDepthFirstInByteOrderOutsideExcludedFolders) {
  using Strings = std::vector<std::string>;
  const std::string sub = root + "/Sub", old = root + "/Old", other = root + "/Other",
                    a = root + "/a del-01-01-2020.txt", folder = root + "/del-01-01-2020 folder",
                    b = sub + "/b del-02-02-2020.doc", c = sub + "/Deep/c DEL-03-03-2020",
                    d = old + "/d del-04-04-2020.txt", e = other + "/e del-05-05-2020.txt",
                    nowhere = home / "nowhere";
  const struct {
    const char* what;
    Folder2Clean include, exclude;  // an exclude entry "" excludes nothing
    bool all_messages;
    Strings found, logged;
    int folders;
  } cases[] = {
      // clang-format off
      {"all", {root, true}, {}, true, {a, folder, d, e, b, c},
       {root, old, other, sub, sub + "/Deep", folder}, 6},
      {"excluded, case and separator ignored; quiet: include folders alone logged",
       {root, true}, {root + "/old/", false}, false, {a, folder, e, b, c}, {root}, 5},
      {"exclude with subfolders above the include", {sub, true}, {root, true}, true, {}, {}, 0},
      {"exclude without subfolders above the include", {sub, true}, {root, false}, true, {b, c},
       {sub, sub + "/Deep"}, 2},
      {"without subfolders", {root, false}, {}, true, {a, folder}, {root}, 1},
      {"missing folder: logged and counted, no error", {nowhere, true}, {}, true, {}, {nowhere}, 1},
      // clang-format on
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.what);
    fn.RunLog->Initialize(fn.CurrentCfg->MaxKBLogFile());
    Cfg().IncludeFolders().assign({k.include});
    Cfg().ExcludeFolders().assign({k.exclude});
    Cfg().DisplayAllMessages(k.all_messages);
    fn.FoldersScanned = 0;
    EXPECT_EQ(Scan(), k.found);
    EXPECT_EQ(ScanLines(), k.logged);
    EXPECT_EQ(fn.FoldersScanned, k.folders);
  }
  EXPECT_TRUE(reporter.reports.empty());
}

// Listing threads let go of and open again the folders of a deep chain as one thread does,
// while other threads list the side folders of every level; the walk's order stays.
TEST_F(DiscoveryTest, ListingThreadsWalkAnyDepthInTheOrderOfOne) {
  constexpr int kLevels = 400;
  test::MakeChain(root, "d", kLevels, "plain", "");
  std::vector<std::string> expected = {
      root + "/a del-01-01-2020.txt",       root + "/del-01-01-2020 folder",
      root + "/s del-01-01-2020",           root + "/Old/d del-04-04-2020.txt",
      root + "/Other/e del-05-05-2020.txt", root + "/Sub/b del-02-02-2020.doc",
      root + "/Sub/Deep/c DEL-03-03-2020"};
  std::string level = root;
  for (int n = 0; n < kLevels; ++n, level += "/d") {
    std::filesystem::create_directory(level + "/s del-01-01-2020");
    if (n > 0) expected.push_back(level + "/s del-01-01-2020");
  }
  for (const char* threads : {"1", "8"}) {
    test::EnvVar env("KESTREL_THREADS", threads);
    fn.FoldersScanned = 0;
    EXPECT_EQ(Scan(), expected) << threads;
    EXPECT_EQ(fn.FoldersScanned, 6 + 2 * kLevels) << threads;
  }
}

// A log line that cannot be written ends the scan of its own folder's subtree only.
TEST_F(DiscoveryTest, FailingFolderCutsShortOnlyItsOwnSubtree) {
  Cfg().IncludeFolders().assign(
      {Folder2Clean(root + "/Sub", true), Folder2Clean(root + "/Other", true)});
  const std::string e = root + "/Other/e del-05-05-2020.txt";
  for (const auto& [line, found] : {std::pair<int, std::vector<std::string>>{1, {e}},
                                    {2, {root + "/Sub/b del-02-02-2020.doc", e}}}) {
    fn.RunLog->Initialize(fn.CurrentCfg->MaxKBLogFile());
    fn.FoldersScanned = 0;
    reporter.reports.clear();
    sys_.Fail(test::Op::kWrite, EIO, line);
    EXPECT_EQ(Scan(), found) << line;
    EXPECT_EQ(Locations(), (std::vector<std::string>{"Functions.GetTargetFiles\nLogFile"}));
    EXPECT_EQ(fn.FoldersScanned, line);
  }
}

// The lines of sibling folders go out in one write; a folder whose line fails in it loses what
// it would lose written alone, and the lines after it are written alone.
TEST_F(DiscoveryTest, FolderWhoseLineFailsAmongItsSiblingsLosesOnlyWhatItWouldAlone) {
  const std::string other = root + "/Other", sub = root + "/Sub", deep = sub + "/Deep",
                    folder = root + "/del-01-01-2020 folder", a = root + "/a del-01-01-2020.txt",
                    e = other + "/e del-05-05-2020.txt";
  using Strings = std::vector<std::string>;
  // The failing writes, counted as one a line: 2 is Old's, 4 Sub's, the last of a batch.
  const std::tuple<std::vector<int>, Strings, Strings> cases[] = {
      {{2},
       {a, folder, e, sub + "/b del-02-02-2020.doc", deep + "/c DEL-03-03-2020"},
       {root, other, sub, deep, folder}},
      {{2, 4}, {a, folder, e}, {root, other, folder}},
  };
  for (const auto& [failing, found, lines] : cases) {
    fn.RunLog->Initialize(fn.CurrentCfg->MaxKBLogFile());
    fn.FoldersScanned = 0;
    reporter.reports.clear();
    // A rule does not see the calls an earlier rule failed.
    for (size_t k = 0; k < failing.size(); ++k)
      sys_.Fail(test::Op::kWrite, EIO, failing[k] - static_cast<int>(k));
    EXPECT_EQ(Scan(), found) << failing.size();
    EXPECT_EQ(ScanLines(), lines) << failing.size();
    EXPECT_EQ(reporter.reports.size(), failing.size());
    EXPECT_EQ(fn.FoldersScanned, static_cast<int>(lines.size()));
  }
}

TEST(WalkThreads, CountsPositiveWholeNumbersUpToTheCores) {
  const char* const kPast64Bits = "99999999999999999999";
  // KESTREL_THREADS, the cores, the threads (0: refused).
  const std::tuple<const char*, unsigned, int> cases[] = {
      {nullptr, 2, 2}, {nullptr, 0, 1}, {"1", 2, 1},   {"2", 8, 2},        {"3", 2, 2},
      {"007", 8, 7},   {"0", 2, 0},     {"", 2, 0},    {"-1", 2, 0},       {"+2", 2, 0},
      {"2 ", 2, 0},    {"1.5", 2, 0},   {"two", 2, 0}, {kPast64Bits, 4, 4}};
  for (const auto& [env, cores, threads] : cases) {
    const std::string value = env ? env : "unset";
    std::string why;
    EXPECT_EQ(WalkThreads(env, cores, why), threads) << value;
    const std::string refused = "KESTREL_THREADS must be a positive whole number, not \"";
    EXPECT_EQ(why, threads ? "" : refused + value + "\"");
  }
}

}  // namespace
}  // namespace kestrel
