#include <gmock/gmock.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

#include "config/profile_store.h"
#include "fs/sys.h"
#include "marking/mark_file.h"
#include "marking/mark_rules.h"
#include "support/engine_fixture.h"
#include "support/fault_sys.h"

namespace kestrel {
namespace {

using test::At;
using test::Names;
using ::testing::HasSubstr;

TEST(MarkRules, ParsesWhen) {
  const DateTime now = At(2026, 12, 6, 15, 30);
  const std::pair<const char*, std::optional<DateTime>> cases[] = {
      {"30d", At(2027, 1, 5)},        {"0d", At(2026, 12, 6)},    {"2w", At(2026, 12, 20)},
      {"3m", At(2027, 3, 6)},         {"1y", At(2027, 12, 6)},    {"01-05-2027", At(2027, 1, 5)},
      {"02-30-2027", std::nullopt},   {"1-5-2027", std::nullopt}, {"d", std::nullopt},
      {"-3d", std::nullopt},          {"3x", std::nullopt},       {"3D", std::nullopt},
      {"99999y", std::nullopt},       {"", std::nullopt},         {"12-31-0999", std::nullopt},
      {"100000d", At(2300, 9, 21)},   {"7973y", At(9999, 12, 6)}, {"7974y", std::nullopt},
      {"2912103d", At(9999, 12, 31)}, {"2912104d", std::nullopt}, {"99999999d", std::nullopt},
  };
  for (const auto& [when, day] : cases) EXPECT_EQ(ParseWhen(when, now), day) << when;
  // A month later keeps the day, or takes the month's last.
  EXPECT_EQ(ParseWhen("1m", At(2027, 1, 31)), At(2027, 2, 28));
  EXPECT_EQ(ParseWhen("1y", At(2028, 2, 29)), At(2029, 2, 28));
}

TEST(MarkRules, MarksAndUnmarksNamesAndFindsAMarkOfAnotherToken) {
  // A name, whether a folder, marked with "del-" and 01-05-2027, and the marked name without its
  // mark ("" when none is left).
  const std::tuple<const char*, bool, const char*, const char*> cases[] = {
      {"budget.xls", false, "budget del-01-05-2027.xls", "budget.xls"},
      {"notes", false, "notes del-01-05-2027", "notes"},
      {"photos.2020", true, "photos.2020 del-01-05-2027", "photos.2020"},
      {"backup.tar.gz", false, "backup del-01-05-2027.tar.gz", "backup.tar.gz"},
      {".bashrc", false, ".bashrc del-01-05-2027", ".bashrc"},
      {"budget DEL-03-01-2026.xls", false, "budget DEL-01-05-2027.xls", "budget.xls"},
      {"del-03-01-2026 budget.xls", false, "del-01-05-2027 budget.xls", "budget.xls"},
      // A mark whose date is no real day is mended, not left to stand before the new one.
      {"badday del-02-30-2026.txt", false, "badday del-01-05-2027.txt", "badday.txt"},
      // The first token reads no date: the mark goes in, a run would not read it back.
      {"del-me.txt", false, "del-me del-01-05-2027.txt", ""},
      {"del-4-1-2026 x.txt", false, "del-4-1-2026 x del-01-05-2027.txt", ""},
  };
  for (const auto& [name, folder, marked, unmarked] : cases) {
    EXPECT_EQ(MarkedName(name, "del-", At(2027, 1, 5), folder), marked) << name;
    EXPECT_EQ(UnmarkedName(marked, "del-").value_or(""), unmarked) << name;
  }
  EXPECT_EQ(UnmarkedName("budget.xls", "del-"), std::nullopt);
  EXPECT_EQ(UnmarkedName("del-01-05-2027.xls", "del-"), std::nullopt);
  EXPECT_EQ(UnmarkedName("del-01-05-2027", "del-"), std::nullopt);
  EXPECT_EQ(OtherMarkToken("budget rm-01-05-2027.xls", "del-", false), "rm-");
  EXPECT_EQ(OtherMarkToken("budget RM-01-05-2027", "rm-", true), "");
  EXPECT_EQ(OtherMarkToken("budget del-01-05-2027.xls", "del-", false), "");
  EXPECT_EQ(OtherMarkToken("minutes 01-05-2027.txt", "del-", false), "");
  EXPECT_EQ(OtherMarkToken("x rm-02-30-2027.txt", "del-", false), "");
}

const DateTime kDue = At(2027, 1, 5);

class MarkFileTest : public ::testing::Test {
 protected:
  MarkOutcome Mark(const std::string& name, const std::string& token = "del-",
                   DateTime date = kDue) {
    return MarkFile(RealSys(), dir / name, token, date);
  }
  test::TempDir dir;
};

TEST_F(MarkFileTest, RenamesFilesFoldersAndLinksKeepingTheirStamps) {
  test::MakeFile(dir / "budget.xls", 3, At(2026, 11, 1, 9));
  test::MakeDir(dir / "photos");
  test::MakeLink("budget del-01-05-2027.xls", dir / "link.txt");
  // Stamps before the date, or marking would be refused.
  test::SetStamp(dir / "link.txt", At(2026, 11, 2));
  test::SetStamp(dir / "photos", At(2026, 11, 3));
  for (const char* name : {"budget.xls", "photos", "link.txt"}) EXPECT_EQ(Mark(name).reason, "");
  EXPECT_EQ(Names(dir.Path()),
            (std::vector<std::string>{"budget del-01-05-2027.xls", "link del-01-05-2027.txt",
                                      "photos del-01-05-2027"}));
  EXPECT_TRUE(S_ISLNK(test::LStat(dir / "link del-01-05-2027.txt").st_mode));
  EXPECT_EQ(DateTime::FromTimeT(test::LStat(dir / "budget del-01-05-2027.xls").st_mtime),
            At(2026, 11, 1, 9));
  // Marking again replaces the date.
  EXPECT_EQ(Mark("budget del-01-05-2027.xls", "del-", At(2027, 2, 1)).new_path,
            dir / "budget del-02-01-2027.xls");
}

TEST_F(MarkFileTest, RefusesAndLeavesTheFileAlone) {
  for (const std::string& name : std::vector<std::string>{
           "a.txt", "a del-01-05-2027.txt", "b rm-01-05-2027.txt", "del-old/c.txt",
           std::string(245, 'x'), "proj/z del-01-01-2026.txt", "proj/sub/y del-12-31-2026.txt",
           "proj/sub/x.txt", "proj/later del-02-02-2027.txt", "fine/later del-02-02-2027.txt"})
    test::MakeFile(dir / name, 1, At(2026, 11, 1));
  test::MakeFile(dir / "new.txt", 1, At(2027, 1, 5, 9));
  const struct {
    std::string name, token, reason;
  } cases[] = {
      {"a.txt", "del-", "the name is taken: " + (dir / "a del-01-05-2027.txt")},
      {"a.txt", "", "the prefix token is empty"},
      {"missing.txt", "del-", "No such file or directory"},
      {"b rm-01-05-2027.txt", "del-", "already marked with another token \"rm-\""},
      {"del-old/c.txt", "del-",
       "\"del-\" already stands earlier in the path, so a run would not read this date"},
      {"new.txt", "del-",
       "the date is before the file's last change (2027-01-05 09:00:00): a run would never "
       "remove it"},
      {std::string(245, 'x'), "del-",
       "the new name would be longer than the file system allows (255 bytes)"},
      {"proj", "del-",
       "it holds a mark due earlier, which a run would no longer read: " +
           (dir / "proj/sub/y del-12-31-2026.txt")},
  };
  const auto before = Names(dir.Path());
  for (const auto& c : cases) EXPECT_EQ(Mark(c.name, c.token).reason, c.reason) << c.name;
  test::FaultSys refusing;
  refusing.Fail(test::Op::kRenameAt2, EACCES);
  EXPECT_EQ(MarkFile(refusing, dir / "fine", "del-", kDue).reason,
            "cannot rename: Permission denied");
  EXPECT_EQ(Names(dir.Path()), before);
  EXPECT_TRUE(Mark("fine", "del-").ok);  // a later mark inside is no reason to refuse
  EXPECT_EQ(UnmarkFile(RealSys(), dir / "a.txt", "del-").reason,
            "the name carries no mark \"del-MM-DD-YYYY\"");
}

// The Dolphin service menu (a desktop file of type Service, which desktop-file-validate does not
// know) and the GNOME Files script offer the same presets, each a WHEN that --mark accepts.
TEST(FileManagerActions, OfferThePresetsAndTheDialog) {
  ProfileStore menu(RealSys());
  menu.SetFileName(KESTREL_DATA_DIR "/kestrel-mark.desktop");
  EXPECT_EQ(menu.GetString("Desktop Entry", "Type", ""), "Service");
  EXPECT_EQ(menu.GetString("Desktop Entry", "X-KDE-ServiceTypes", ""), "KonqPopupMenu/Plugin");
  EXPECT_EQ(menu.GetString("Desktop Entry", "X-KDE-Submenu", ""), "Mark for removal");
  EXPECT_EQ(menu.GetString("Desktop Entry", "Actions", ""), "week;month;quarter;year;choose;");
  const std::string script = test::ReadFile(KESTREL_DATA_DIR "/nautilus/kestrel-mark");
  const DateTime now = test::At(2026, 12, 6);
  using Preset = std::tuple<std::string, std::string, std::string>;  // action, name, WHEN
  for (const auto& [action, name, when] :
       {Preset{"week", "1 week", "1w"}, Preset{"month", "1 month", "1m"},
        Preset{"quarter", "3 months", "3m"}, Preset{"year", "1 year", "1y"}}) {
    EXPECT_EQ(menu.GetString("Desktop Action " + action, "Name", ""), name);
    EXPECT_EQ(menu.GetString("Desktop Action " + action, "Exec", ""),
              "kestrel --mark " + when + " -- %F");
    EXPECT_THAT(script, HasSubstr("\"" + name + "\") when=" + when + " ;;"));
    EXPECT_TRUE(ParseWhen(when, now)) << when;
  }
  EXPECT_EQ(menu.GetString("Desktop Action choose", "Name", ""), "Choose date...");
  EXPECT_EQ(menu.GetString("Desktop Action choose", "Exec", ""), "kestrel-gui --mark -- %F");
  EXPECT_THAT(script, HasSubstr("exec kestrel-gui --mark -- \"$@\""));
}

// A failed mark is shown by zenity as plain text: a name such as "R&D <old>.xls" is no markup.
TEST(FileManagerActions, TheScriptShowsAFailureAsPlainText) {
  test::TempDir bin;
  test::WriteFile(bin / "kestrel", "#!/bin/sh\necho \"kestrel: $4: the name is taken\"\nexit 1\n",
                  0755);
  test::WriteFile(bin / "zenity", "#!/bin/sh\nprintf '%s|' \"$@\" > \"$(dirname \"$0\")/shown\"\n",
                  0755);
  std::filesystem::copy_file(KESTREL_DATA_DIR "/nautilus/kestrel-mark", bin / "1 week");
  std::filesystem::permissions(bin / "1 week", std::filesystem::perms(0755));
  test::EnvVar path("PATH", bin.Path() + ":/usr/bin:/bin");
  EXPECT_NE(std::system(("'" + bin.Path() + "/1 week' 'R&D <old>.xls'").c_str()), 0);
  EXPECT_EQ(test::ReadFile(bin / "shown"),
            "--error|--no-markup|--title=Mark for removal|"
            "--text=kestrel: R&D <old>.xls: the name is taken|");
}

}  // namespace
}  // namespace kestrel
