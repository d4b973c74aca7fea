#include "cleanup/discovery.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
  static std::vector<std::string> Sorted(std::vector<std::string> v) {
    std::sort(v.begin(), v.end());
    return v;
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

// Listing threads let go of and open again the folders of a deep chain as one thread does,
// while other threads list the side folders of every level; the walk's order stays.
TEST_F(DiscoveryTest, ListingThreadsWalkAnyDepthInTheOrderOfOne) {
  constexpr int kLevels = 400;
  int fd = open(root.c_str(), O_RDONLY | O_DIRECTORY);
  for (int level = 0; level < kLevels; ++level) {
    ASSERT_EQ(mkdirat(fd, "s del-01-01-2020", 0755), 0);
    ASSERT_EQ(mkdirat(fd, "d", 0755), 0);
    const int next = openat(fd, "d", O_RDONLY | O_DIRECTORY);
    close(fd);
    fd = next;
  }
  close(fd);
  std::vector<std::string> one, several;
  {
    test::EnvVar threads("KESTREL_THREADS", "1");
    one = Scan();
  }
  test::EnvVar threads("KESTREL_THREADS", "8");
  fn.FoldersScanned = 0;
  several = Scan();
  EXPECT_EQ(several, one);
  EXPECT_EQ(one.size(), 6u + kLevels);
  EXPECT_EQ(one[2], root + "/s del-01-01-2020");
  EXPECT_EQ(fn.FoldersScanned, 6 + 2 * kLevels);
}

TEST_F(DiscoveryTest, ExcludedSubtreeIsSkippedAndOnlyIncludeFoldersAreLoggedQuietly) {
  Cfg().ExcludeFolders().emplace_back(root + "/old/", false);  // case and separator ignored
  Cfg().DisplayAllMessages(false);
  fn.RunLog->Initialize(fn.CurrentCfg->MaxKBLogFile());
  EXPECT_EQ(Sorted(Scan()),
            Sorted({root + "/a del-01-01-2020.txt", root + "/del-01-01-2020 folder",
                    root + "/Sub/b del-02-02-2020.doc", root + "/Sub/Deep/c DEL-03-03-2020",
                    root + "/Other/e del-05-05-2020.txt"}));
  EXPECT_EQ(ScanLines(), (std::vector<std::string>{root}));
  EXPECT_EQ(fn.FoldersScanned, 5);
}

TEST_F(DiscoveryTest, ExcludeWithFlagSkipsIncludeEntriesBelowIt) {
  Cfg().IncludeFolders().assign({Folder2Clean(root + "/Sub", true)});
  Cfg().ExcludeFolders().emplace_back(root, true);
  EXPECT_TRUE(Scan().empty());
  EXPECT_EQ(fn.FoldersScanned, 0);
  Cfg().ExcludeFolders()[0].IncludeSubs(false);
  EXPECT_EQ(Sorted(Scan()),
            Sorted({root + "/Sub/b del-02-02-2020.doc", root + "/Sub/Deep/c DEL-03-03-2020"}));
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
