#include "cleanup/discovery.h"

#include "cleanup/report_recorder.h"

#include "support/engine_fixture.h"
#include "support/fault_sys.h"

namespace kestrel {
namespace {

using test::WriteFile;

TEST(ExcludeRule, Decides) {
  const struct {
    const char* folder;
    const char* entry;
    bool subs, excluded;
  } cases[] = {
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
  for (const auto& c : cases) {
    EXPECT_EQ(IsExcludedFolder(c.folder, {Folder2Clean(c.entry, c.subs)}), c.excluded)
        << c.folder << " vs " << c.entry;
  }
}

class DiscoveryTest : public test::EngineTest {
 protected:
  DiscoveryTest() : test::EngineTest(sys_) {}
  void SetUp() override {
    root = home / "Data";
    for (const char* f :
         {"a del-01-01-2020.txt", "plain.txt", "Sub/b del-02-02-2020.doc",
          "Sub/Deep/c DEL-03-03-2020", "Old/d del-04-04-2020.txt", "Other/e del-05-05-2020.txt"}) {
      WriteFile(root + "/" + f, "x");
    }
    std::filesystem::create_directories(root + "/del-01-01-2020 folder");
    Cfg().IncludeFolders().emplace_back(root, true);
  }
  std::vector<std::string> Scan() {
    ReportRecorder recorder(world, Cfg());
    return GetTargetFiles(fn.Outside(), Cfg(), Cfg().IncludeFolders(), Cfg().ExcludeFolders(),
                          BuildFileMask(Cfg()), recorder);
  }
  std::vector<std::string> ScanLines() {
    std::vector<std::string> out;
    for (const auto& line : test::Lines(LogText())) {
      if (auto at = line.find("] Scanning Folder: "); at != std::string::npos) {
        out.push_back(line.substr(at + 19));
      }
    }
    return out;
  }
  std::string root;
  static test::FaultSys sys_;
};
test::FaultSys DiscoveryTest::sys_;

TEST_F(DiscoveryTest, FindsMarkedEntriesDepthFirstInByteOrderKeepingCase) {
  fn.RunLog->Initialize(fn.CurrentCfg->MaxKBLogFile());
  // A folder's own entries before its subfolders', each folder's in byte order of the names
  // (upper case first), whatever order the file system lists them in.
  EXPECT_EQ(Scan(), (std::vector<std::string>{
                        root + "/a del-01-01-2020.txt", root + "/del-01-01-2020 folder",
                        root + "/Old/d del-04-04-2020.txt", root + "/Other/e del-05-05-2020.txt",
                        root + "/Sub/b del-02-02-2020.doc", root + "/Sub/Deep/c DEL-03-03-2020"}));
  EXPECT_EQ(ScanLines(),
            (std::vector<std::string>{root, root + "/Old", root + "/Other", root + "/Sub",
                                      root + "/Sub/Deep", root + "/del-01-01-2020 folder"}));
  EXPECT_EQ(fn.FoldersScanned, 6);
}

TEST_F(DiscoveryTest, ExcludedSubtreeIsSkippedAndOnlyIncludeFoldersAreLoggedQuietly) {
  Cfg().ExcludeFolders().emplace_back(root + "/old/", false);  // case and separator ignored
  Cfg().DisplayAllMessages(false);
  fn.RunLog->Initialize(fn.CurrentCfg->MaxKBLogFile());
  const auto found = Scan();
  EXPECT_EQ(
      std::count_if(found.begin(), found.end(),
                    [](const std::string& p) { return p.find("/Old/") != std::string::npos; }),
      0);
  EXPECT_EQ(found.size(), 5u);
  EXPECT_EQ(ScanLines(), (std::vector<std::string>{root}));
  EXPECT_EQ(fn.FoldersScanned, 5);
}

TEST_F(DiscoveryTest, ExcludeWithFlagSkipsIncludeEntriesBelowIt) {
  Cfg().IncludeFolders().assign({Folder2Clean(root + "/Sub", true)});
  Cfg().ExcludeFolders().emplace_back(root, true);
  EXPECT_TRUE(Scan().empty());
  EXPECT_EQ(fn.FoldersScanned, 0);
  Cfg().ExcludeFolders()[0].IncludeSubs(false);
  EXPECT_EQ(Scan().size(), 2u);
}

TEST_F(DiscoveryTest, WithoutSubfoldersOnlyTheFolderItself) {
  Cfg().IncludeFolders()[0].IncludeSubs(false);
  EXPECT_EQ(Scan(), (std::vector<std::string>{root + "/a del-01-01-2020.txt",
                                              root + "/del-01-01-2020 folder"}));
  EXPECT_EQ(fn.FoldersScanned, 1);
}

TEST_F(DiscoveryTest, MissingFolderIsLoggedAndCountedWithoutError) {
  Cfg().IncludeFolders().assign({Folder2Clean(home / "nowhere", true)});
  fn.RunLog->Initialize(fn.CurrentCfg->MaxKBLogFile());
  EXPECT_TRUE(Scan().empty());
  EXPECT_EQ(fn.FoldersScanned, 1);
  EXPECT_EQ(ScanLines(), (std::vector<std::string>{home / "nowhere"}));
  EXPECT_TRUE(reporter.reports.empty());
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

}  // namespace
}  // namespace kestrel
