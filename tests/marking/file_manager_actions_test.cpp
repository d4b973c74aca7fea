#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "config/profile_store.h"
#include "fs/sys.h"
#include "marking/mark_rules.h"
#include "support/engine_fixture.h"

namespace kestrel {
namespace {

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
  struct Preset {
    const char* action;
    const char* name;
    const char* when;
  };
  for (const Preset& p : {Preset{"week", "1 week", "1w"}, Preset{"month", "1 month", "1m"},
                          Preset{"quarter", "3 months", "3m"}, Preset{"year", "1 year", "1y"}}) {
    const std::string section = std::string("Desktop Action ") + p.action;
    EXPECT_EQ(menu.GetString(section, "Name", ""), p.name);
    EXPECT_EQ(menu.GetString(section, "Exec", ""),
              std::string("kestrel --mark ") + p.when + " -- %F");
    EXPECT_NE(script.find("\"" + std::string(p.name) + "\") when=" + p.when + " ;;"),
              std::string::npos)
        << p.name;
    EXPECT_TRUE(ParseWhen(p.when, now)) << p.when;
  }
  EXPECT_EQ(menu.GetString("Desktop Action choose", "Name", ""), "Choose date...");
  EXPECT_EQ(menu.GetString("Desktop Action choose", "Exec", ""), "kestrel-gui --mark -- %F");
  EXPECT_NE(script.find("exec kestrel-gui --mark -- \"$@\""), std::string::npos);
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
