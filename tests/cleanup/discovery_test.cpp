#include "cleanup/discovery.h"

#include <unistd.h>

#include "fs/sys_wrapper.h"
#include "support/engine_fixture.h"

namespace kestrel {
namespace {

using test::WriteFile;

struct ExcludeCase {
  const char* folder;
  const char* entry;
  bool subs;
  bool excluded;
};

class ExcludeRuleTest : public ::testing::TestWithParam<ExcludeCase> {};

TEST_P(ExcludeRuleTest, Decides) {
  const ExcludeCase& c = GetParam();
  const FolderList exclude = {Folder2Clean(c.entry, c.subs)};
  EXPECT_EQ(IsExcludedFolder(c.folder, exclude), c.excluded) << c.folder << " vs " << c.entry;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExcludeRuleTest,
    ::testing::Values(
        ExcludeCase{"/data/old", "/data/old", false, true},
        ExcludeCase{"/Data/Old", "/data/OLD", false, true},   // case ignored
        ExcludeCase{"/data/old/", "/data/old", false, true},  // trailing separators ignored
        ExcludeCase{"/data/old", "/data/old//", false, true},
        ExcludeCase{"/data/old/x", "/data/old", false, false},  // no flag: that folder only
        ExcludeCase{"/data/old/x", "/data/old", true, true},    // flag without trailing "/"
        ExcludeCase{"/data/old/x/y", "/data/old/", true, true},
        ExcludeCase{"/data/older", "/data/old", true, false},  // a prefix is not a parent
        ExcludeCase{"/data", "/data/old", true, false},
        ExcludeCase{"/anything", "/", true, true},  // the root with its flag
        ExcludeCase{"/anything", "/", false, false}, ExcludeCase{"/", "/", false, true},
        ExcludeCase{"/data", "", true, false}));  // an empty entry excludes nothing

class DiscoveryTest : public test::EngineTest {
 protected:
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
    return GetTargetFiles(fn, Cfg().IncludeFolders(), Cfg().ExcludeFolders(), BuildFileMask(fn));
  }
  std::vector<std::string> Sorted(std::vector<std::string> v) {
    std::sort(v.begin(), v.end());
    return v;
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
};

TEST_F(DiscoveryTest, FindsMarkedEntriesDepthFirstKeepingCase) {
  fn.RunLog->Initialize();
  const auto found = Scan();
  EXPECT_EQ(Sorted(found),
            Sorted({root + "/a del-01-01-2020.txt", root + "/del-01-01-2020 folder",
                    root + "/Sub/b del-02-02-2020.doc", root + "/Sub/Deep/c DEL-03-03-2020",
                    root + "/Old/d del-04-04-2020.txt", root + "/Other/e del-05-05-2020.txt"}));
  // A folder's own entries come before anything of its subfolders.
  auto pos = [&](const std::string& p) {
    return std::find(found.begin(), found.end(), p) - found.begin();
  };
  EXPECT_LT(pos(root + "/a del-01-01-2020.txt"), pos(root + "/Sub/b del-02-02-2020.doc"));
  EXPECT_LT(pos(root + "/Sub/b del-02-02-2020.doc"), pos(root + "/Sub/Deep/c DEL-03-03-2020"));
  EXPECT_EQ(fn.FoldersScanned, 6);  // Data, Sub, Deep, Old, Other and the marked folder
  EXPECT_EQ(ScanLines().size(), 6u);
  EXPECT_EQ(ScanLines()[0], root);
}

TEST_F(DiscoveryTest, ExcludedSubtreeIsSkippedAndOnlyIncludeFoldersAreLoggedQuietly) {
  Cfg().ExcludeFolders().emplace_back(root + "/old/", false);  // case and separator ignored
  Cfg().DisplayAllMessages(false);
  fn.RunLog->Initialize();
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

TEST_F(DiscoveryTest, OverlappingIncludesListTwiceAndCountAcrossRuns) {
  Cfg().IncludeFolders().emplace_back(root + "/Sub", false);
  const auto found = Scan();
  EXPECT_EQ(std::count(found.begin(), found.end(), root + "/Sub/b del-02-02-2020.doc"), 2);
  EXPECT_EQ(fn.FoldersScanned, 7);
  Scan();
  EXPECT_EQ(fn.FoldersScanned, 14);
}

TEST_F(DiscoveryTest, WithoutSubfoldersOnlyTheFolderItself) {
  Cfg().IncludeFolders()[0].IncludeSubs(false);
  EXPECT_EQ(Sorted(Scan()),
            Sorted({root + "/a del-01-01-2020.txt", root + "/del-01-01-2020 folder"}));
  EXPECT_EQ(fn.FoldersScanned, 1);
}

TEST_F(DiscoveryTest, MissingFolderIsLoggedAndCountedWithoutError) {
  Cfg().IncludeFolders().assign({Folder2Clean(home / "nowhere", true)});
  fn.RunLog->Initialize();
  EXPECT_TRUE(Scan().empty());
  EXPECT_EQ(fn.FoldersScanned, 1);
  EXPECT_EQ(ScanLines(), (std::vector<std::string>{home / "nowhere"}));
  EXPECT_TRUE(reporter.reports.empty());
}

TEST_F(DiscoveryTest, LinksAreCandidatesButNeverFollowed) {
  test::TempDir outside;
  WriteFile(outside / "f del-01-01-2020.txt", "secret");
  ASSERT_EQ(::symlink(outside.Path().c_str(), (root + "/linked").c_str()), 0);
  ASSERT_EQ(::symlink((outside / "f del-01-01-2020.txt").c_str(),
                      (root + "/g del-01-01-2020.lnk").c_str()),
            0);
  const auto found = Scan();
  EXPECT_EQ(std::count(found.begin(), found.end(), root + "/g del-01-01-2020.lnk"), 1);
  for (const auto& p : found) EXPECT_EQ(p.find(outside.Path()), std::string::npos) << p;
  EXPECT_EQ(
      std::count_if(found.begin(), found.end(),
                    [](const std::string& p) { return p.find("/linked/") != std::string::npos; }),
      0);
}

}  // namespace
}  // namespace kestrel

namespace kestrel {
namespace {

// Fails the listing of one folder, found by the path its descriptor points at.
class FailingListSys : public SysWrapper {
 public:
  FailingListSys() : SysWrapper(RealSys()) {}
  std::string fail_suffix;
  ssize_t GetDents64(int fd, void* buf, size_t count) override {
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const std::string path = std::filesystem::read_symlink(link).string();
    if (path.size() >= fail_suffix.size() &&
        path.compare(path.size() - fail_suffix.size(), fail_suffix.size(), fail_suffix) == 0) {
      throw std::runtime_error("listing failed: " + path);
    }
    return SysWrapper::GetDents64(fd, buf, count);
  }
};

class FailingScanTest : public test::EngineTest {
 protected:
  FailingScanTest() : test::EngineTest(sys_) {}
  FailingListSys sys_;
};

TEST_F(FailingScanTest, FailingSubtreeIsCutShortReportedAndTheRestScanned) {
  const std::string root = home / "data";
  for (const char* f : {"a del-01-01-2020", "sub1/b del-01-01-2020", "sub1/deep/c del-01-01-2020",
                        "sub2/d del-01-01-2020"}) {
    test::WriteFile(root + "/" + f, "x");
  }
  sys_.fail_suffix = "/sub1";
  Cfg().IncludeFolders().emplace_back(root, true);
  auto found =
      GetTargetFiles(fn, Cfg().IncludeFolders(), Cfg().ExcludeFolders(), BuildFileMask(fn));
  std::sort(found.begin(), found.end());
  EXPECT_EQ(found, (std::vector<std::string>{root + "/a del-01-01-2020",
                                             root + "/sub2/d del-01-01-2020"}));
  ASSERT_EQ(reporter.reports.size(), 1u);
  EXPECT_EQ(reporter.reports[0].location.substr(0, 25), "Functions.GetTargetFiles\n");
  EXPECT_EQ(fn.FoldersScanned, 3);
}

}  // namespace
}  // namespace kestrel
