#include <sys/file.h>
#include <unistd.h>

#include <tuple>

#include "config/profile_store.h"
#include "platform/error.h"
#include "support/engine_fixture.h"
#include "support/fault_sys.h"

namespace kestrel {
namespace {

using test::At;
using test::ReadFile;
using test::WriteFile;

class ConfigFileTest : public test::EngineTest {
 protected:
  std::string Ksp() { return home / "weekly.ksp"; }
  // A configuration whose every field differs from the defaults.
  void FillOdd(KestrelCfg& c) {
    c.UserName("ann b");
    c.Company("Ann & Co; Ltd");
    c.PrefixToken("DEL=");
    c.QuarantineFolder("  /srv/quarantine dir \t");
    c.MaxMBPerRun(-3);
    c.MaxErrorsPerRun(0);
    c.MaxKBLogFile(2147483647);
    c.DisplayAllMessages(false);
    c.PurgeAfterDays(30);
    c.IncludeFolders().emplace_back("/data/a", true);
    c.IncludeFolders().emplace_back(" /data/ leading and trailing ", false);
    c.IncludeFolders().emplace_back("/data/\xff\xfe not utf-8 %", true);
    c.ExcludeFolders().emplace_back("\"/quoted\"", true);
  }
  std::unique_ptr<KestrelCfg> Reload() {
    auto other = std::make_unique<KestrelCfg>(fn.Outside());
    other->Filename(Ksp());
    EXPECT_TRUE(other->Load());
    return other;
  }
};

// The run date is written at once, in ISO form, and leaves the changed mark alone.
TEST_F(ConfigFileTest, SaveThenLoadGivesTheSameConfiguration) {
  Cfg().QuarantineFolder(" \t ");
  EXPECT_EQ(Cfg().QuarantineFolder(), "");     // blanks only: the Trash
  Cfg().LastRunDate(At(2026, 1, 2, 3, 4, 5));  // no file name: memory only
  EXPECT_FALSE(std::filesystem::exists(Ksp()));
  Cfg().Filename(Ksp());
  Cfg().LastRunDate(At(2026, 1, 2, 3, 4, 5));
  EXPECT_EQ(ReadFile(Ksp()), "[General]\nRunDate=2026-01-02 03:04:05\n");
  FillOdd(Cfg());
  Cfg().IsDirty(true);
  ASSERT_TRUE(Cfg().Save());
  EXPECT_FALSE(Cfg().IsDirty());
  Cfg().IsDirty(true);
  Cfg().LastRunDate(At(2026, 12, 5, 22, 0, 0));
  EXPECT_TRUE(Cfg().IsDirty());

  auto fields = [](const KestrelCfg& c) {
    return std::tuple(c.UserName(), c.Company(), c.PrefixToken(), c.QuarantineFolder(),
                      c.MaxMBPerRun(), c.MaxErrorsPerRun(), c.MaxKBLogFile(),
                      c.DisplayAllMessages(), c.PurgeAfterDays(), c.IncludeFolders(),
                      c.ExcludeFolders());
  };
  auto back = Reload();
  EXPECT_EQ(fields(*back), fields(Cfg()));
  EXPECT_EQ(back->QuarantineFolder(), "/srv/quarantine dir");
  EXPECT_EQ(back->LastRunDate(), At(2026, 12, 5, 22, 0, 0));
  EXPECT_TRUE(reporter.reports.empty());
}

TEST_F(ConfigFileTest, MissingFileLoadsTheDefaultsOfTheFileNotOfConstruction) {
  Cfg().Filename(home / "absent.ksp");
  Cfg().IsDirty(true);
  ASSERT_TRUE(Cfg().Load());
  const KestrelCfg& c = Cfg();
  EXPECT_EQ(std::tuple(c.PrefixToken(), c.QuarantineFolder(), c.UserName(), c.MaxMBPerRun(),
                       c.MaxErrorsPerRun(), c.MaxKBLogFile(), c.DisplayAllMessages(),
                       c.PurgeAfterDays(), c.LastRunDate(), c.IsDirty()),
            std::tuple("", "", "", 50, 10, 512, true, 0, At(2026, 12, 5, 10, 0, 0), false));
}

// Indexes past three digits take more; a shorter list leaves stale keys that are never read. A
// value with a line break fails the save before its first write.
TEST_F(ConfigFileTest, ThousandFoldersSaveAShorterListReloadsAndALineBreakIsRefused) {
  Cfg().Filename(Ksp());
  for (int i = 1; i <= 1001; ++i)
    Cfg().ExcludeFolders().emplace_back("/x" + std::to_string(i), i % 2);
  ASSERT_TRUE(Cfg().Save());
  EXPECT_EQ(Reload()->ExcludeFolders(), Cfg().ExcludeFolders());
  Cfg().ExcludeFolders().resize(3);
  ASSERT_TRUE(Cfg().Save());
  const std::string text = ReadFile(Ksp());
  for (const char* line : {"Folder001=/x1\n", "Folder999=/x999\n", "Folder1000=/x1000\n"})
    EXPECT_NE(text.find(line), std::string::npos) << line;
  EXPECT_EQ(Reload()->ExcludeFolders(), Cfg().ExcludeFolders());

  Cfg().ExcludeFolders().emplace_back("/evil\n[Options]\nPrefixToken=", true);
  Cfg().IsDirty(true);
  EXPECT_FALSE(Cfg().Save());
  EXPECT_EQ(ReadFile(Ksp()), text);
  EXPECT_TRUE(Cfg().IsDirty());
  ASSERT_EQ(Locations(), std::vector<std::string>{"KestrelCfg.Save\nProfileStore"});
  EXPECT_EQ(reporter.reports[0].number, kAppError);
}

// The first of two equal keys is the one read and replaced; new keys go after the last key of
// the section's last part. Every CR ends a line, so that what loads saves. A file reached
// through a link is saved there, the link kept.
TEST_F(ConfigFileTest, SaveKeepsByteOrderMarkCommentsUnknownLinesRunDateAndLink) {
  test::TempDir dotfiles;
  ASSERT_EQ(::symlink((dotfiles / "weekly.ksp").c_str(), Ksp().c_str()), 0);
  WriteFile(dotfiles / "weekly.ksp",
            "\xEF\xBB\xBF; kept comment\r\n[general]\r\nRunDate=10/14/2003 9:05:12 AM\r\n"
            "Custom=1\r\n\r\n[Options]\r\nname = old\r\n[ options ]\r\nName=shadowed\r; end\r\n"
            "Company=x\ry\n[Include]\r\nIncludeFoldersCount=0\r\n");
  Cfg().Filename(Ksp());
  ASSERT_TRUE(Cfg().Load());
  EXPECT_EQ(std::tuple(Cfg().UserName(), Cfg().Company(), Cfg().LastRunDate()),
            std::tuple("old", "x", At(2003, 10, 14, 9, 5, 12)));
  ASSERT_TRUE(Cfg().Save());
  EXPECT_TRUE(std::filesystem::is_symlink(Ksp()));
  EXPECT_EQ(ReadFile(dotfiles / "weekly.ksp"),
            "\xEF\xBB\xBF; kept comment\n[general]\nRunDate=10/14/2003 9:05:12 AM\nCustom=1\n"
            "Version=2026.12.0\n\n[Options]\nName=old\n[ options ]\nName=shadowed\n; end\n"
            "Company=x\ny\nPrefixToken=\nQuarantineFolder=\nMaxMB2Remove=50\nMaxErrorsPerRun=10\n"
            "MaxKBLog=512\nDisplayAllMessages=True\nPurgeAfterDays=0\n[Include]\n"
            "IncludeFoldersCount=0\n[Exclude]\nExcludeFoldersCount=0\n");
}

// A write killed once its temporary had a name leaves it behind; the next write removes it,
// with or without anonymous files, but not a temporary in use, another user's, or a name that
// is not of Kestrel's pattern. A file swapped for a FIFO between reading and writing is left as
// it is.
TEST_F(ConfigFileTest, WritesRemoveWhatAKilledOneLeftAndReplaceOnlyARegularFile) {
  const bool root = ::geteuid() == 0;
  for (const char* name : {".kestrel-inuse.tmp", ".kestrel-theirs.tmp", ".kestrel-notes"})
    WriteFile(home / name, "");
  if (root) {
    ASSERT_EQ(::chown((home / ".kestrel-theirs.tmp").c_str(), 65534, 65534), 0);
  }
  const int in_use = ::open((home / ".kestrel-inuse.tmp").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(::flock(in_use, LOCK_EX), 0);
  std::vector<std::string> kept = {".kestrel-inuse.tmp", ".kestrel-notes", "weekly.ksp"};
  if (root) kept.insert(kept.begin() + 2, ".kestrel-theirs.tmp");
  for (const std::string mode : {"anonymous file", "no anonymous files", "no /proc to name one"}) {
    SCOPED_TRACE(mode);
    test::FaultSys sys;
    if (mode == "no anonymous files") sys.Fail(test::Op::kTmpFile, EOPNOTSUPP, 0);
    sys.no_proc = mode == "no /proc to name one";
    sys.Fail(test::Op::kRenameAt2, EIO);  // killed here: no rename, no clean-up
    sys.Fail(test::Op::kUnlinkAt, EIO, 1, ".kestrel-");
    ProfileStore store(sys);
    store.SetFileName(Ksp());
    EXPECT_THROW(store.PutString("General", "RunDate", "1"), KsError);
    const auto names = test::Names(home.Path());  // one new ".kestrel-XXXXXXXXXX.tmp"
    EXPECT_EQ(std::count_if(names.begin(), names.end(), [](auto& n) { return n.size() == 23; }), 1);
    store.PutString("General", "RunDate", "2");
    EXPECT_EQ(ReadFile(Ksp()), "[General]\nRunDate=2\n");
    EXPECT_EQ(test::Names(home.Path()), kept);
  }
  ::close(in_use);

  ProfileStore store(RealSys());
  store.SetFileName(Ksp());
  store.Read();
  ASSERT_EQ(::unlink(Ksp().c_str()), 0);
  ASSERT_EQ(::mkfifo(Ksp().c_str(), 0600), 0);
  EXPECT_THROW(store.PutString("General", "RunDate", "3"), KsError);
  EXPECT_TRUE(S_ISFIFO(test::LStat(Ksp()).st_mode));
}

TEST_F(ConfigFileTest, FlagsAndNumbersAcceptTheirFormsOnly) {
  WriteFile(Ksp(),
            "[Options]\nMaxMB2Remove=-7\nMaxErrorsPerRun=99999999999\nMaxKBLog=12abc\n"
            "DisplayAllMessages=0\n[Include]\nIncludeFoldersCount=4\n"
            "Folder001=/1\nIncludeSubs001=true\nFolder002=/2\nIncludeSubs002=FALSE\n"
            "Folder003=/3\nIncludeSubs003=-1\nFolder004=/4\nIncludeSubs004=0.0\n");
  Cfg().Filename(Ksp());
  ASSERT_TRUE(Cfg().Load());
  // The error limit does not fit 32 bits: the default.
  EXPECT_EQ(std::tuple(Cfg().MaxMBPerRun(), Cfg().MaxErrorsPerRun(), Cfg().MaxKBLogFile(),
                       Cfg().DisplayAllMessages()),
            std::tuple(-7, 10, 512, false));
  EXPECT_EQ(Cfg().IncludeFolders(),
            (FolderList{{"/1", true}, {"/2", false}, {"/3", true}, {"/4", false}}));
}

// What a failed load keeps: the fields read before the failure, the lists completed so far. A
// file that is no configuration, or names no Include count (a count of 0 means every local
// disk), is refused before a key is taken from it, and never written.
TEST_F(ConfigFileTest, FailedLoadsKeepWhatWasReadAndRefusedFilesAreNeverWritten) {
  std::string binary(4096, '\0');
  for (size_t i = 0; i < binary.size(); ++i) binary[i] = static_cast<char>(i * 7919 % 256);
  const std::string options = "[Options]\nPrefixToken=x-\n";
  const bool kLoads = true, kFails = false, kRefused = true;
  const struct {
    std::string text;
    bool loads;
    std::string prefix;         // the PrefixToken afterwards; "old-" before
    size_t includes, excludes;  // the entries afterwards; 9 of each before
    bool refused;
  } cases[] = {
      {"", kFails, "old-", 9, 9, kRefused},
      {binary, kFails, "old-", 9, 9, kRefused},
      {"[Options\nPrefixToken", kFails, "old-", 9, 9, kRefused},
      {std::string("[Options]\nPrefixToken=a\0b\n", 26), kFails, "old-", 9, 9, kRefused},
      {"[exclude]\n", kFails, "", 9, 9, kRefused},
      {options, kFails, "x-", 9, 9, kRefused},
      {"[Include]\nFolder001=/a\nIncludeSubs001=True\n", kFails, "", 9, 9, kRefused},
      {"[include]\nincludefolderscount=0\n", kLoads, "", 0, 0, false},
      {"[Include]\nIncludeFoldersCount=2147483647\nFolder001=/a\nIncludeSubs001=True\n", kFails, "",
       1, 9, false},
      {"[Options]\nPrefixToken=\xC3\x28\xA0\xA1\n[Include]\nIncludeFoldersCount=0\n", kLoads,
       "\xC3\x28\xA0\xA1", 0, 0, false},  // not UTF-8
      {"[General]\nRunDate=someday\n" + options, kFails, "old-", 9, 9, false},
      {options + "DisplayAllMessages=yes\n", kFails, "x-", 9, 9, false},
      {options + "[Include]\nIncludeFoldersCount=2\nFolder001=/a\nIncludeSubs001=1\nFolder002=/b\n",
       kFails, "x-", 1, 9, false},  // a subfolders flag missing
      {options + "[Include]\nIncludeFoldersCount=0\n[Exclude]\nExcludeFoldersCount=2\n"
                 "Folder001=/e\nExcludeSubs001=TRUE\nFolder002=/f\nExcludeSubs002=yes\n",
       kFails, "x-", 0, 1, false},  // yes is no Boolean
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 40));
    KestrelCfg cfg(fn.Outside());
    cfg.PrefixToken("old-");
    cfg.IncludeFolders().assign(9, Folder2Clean("/old", true));
    cfg.ExcludeFolders() = cfg.IncludeFolders();
    cfg.IsDirty(true);
    WriteFile(Ksp(), c.text);
    cfg.Filename(Ksp());
    reporter.reports.clear();
    EXPECT_EQ(cfg.Load(), c.loads);
    EXPECT_EQ(std::tuple(cfg.PrefixToken(), cfg.IncludeFolders().size(),
                         cfg.ExcludeFolders().size(), cfg.IsDirty()),
              std::tuple(c.prefix, c.includes, c.excludes, !c.loads));
    EXPECT_EQ(cfg.FileUnreadable(), c.refused);  // so the window's Open keeps what it has
    EXPECT_EQ(Locations(), c.loads ? std::vector<std::string>{}
                                   : std::vector<std::string>{"KestrelCfg.Load\nKestrelCfg.Load"});
    if (!c.refused) continue;
    EXPECT_FALSE(cfg.Save());
    EXPECT_EQ(ReadFile(Ksp()), c.text);
  }
}

}  // namespace
}  // namespace kestrel
