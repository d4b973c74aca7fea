#include "scheduling/unit_text.h"

#include <gtest/gtest.h>

namespace kestrel {
namespace {

TEST(UnitText, EscapesAsSystemdEscapeAndBack) {
  // Expected texts as systemd-escape 252 prints them.
  const std::pair<const char*, const char*> cases[] = {
      {".hidden.ksp", "\\x2ehidden.ksp"}, {"a-b/c.ksp", "a\\x2db-c.ksp"},
      {"/abs/x.ksp", "-abs-x.ksp"},       {"\xc3\xbc.ksp", "\\xc3\\xbc.ksp"},
      {"back\\slash", "back\\x5cslash"},
  };
  for (const auto& [name, escaped] : cases) {
    EXPECT_EQ(SystemdEscape(name), escaped) << name;
    EXPECT_EQ(SystemdUnescape(escaped), name) << name;
    EXPECT_EQ(ConfigOfTimer(TimerUnit(name)), name) << name;
  }
  EXPECT_EQ(SystemdUnescape("bad\\x2"), std::nullopt);
  EXPECT_EQ(ConfigOfTimer("kestrel@.timer"), std::nullopt);
  EXPECT_EQ(ConfigOfTimer("other@x.timer"), std::nullopt);
}

TEST(UnitText, WritesDropInsAndCrontabLines) {
  EXPECT_EQ(ServiceDropIn("/home/a \"b\"/100%\\k"),
            "[Service]\nEnvironment=\"KESTREL_HOME=/home/a \\\"b\\\"/100%%\\\\k\"\n");
  EXPECT_EQ(CrontabLine("weekly", "/usr/bin/kestrel", "/home/ann's/k", "50% off.ksp"),
            "@weekly KESTREL_HOME='/home/ann'\\''s/k' '/usr/bin/kestrel' --wait 600 "
            "'-s:50\\% off.ksp'");
  EXPECT_EQ(CrontabLine("Mon *-*-* 10:00", "/usr/bin/kestrel", "/k", "a.ksp"), std::nullopt);
  EXPECT_FALSE(FitsUnitFile("daily\nExecStart=/bin/evil"));
  EXPECT_FALSE(FitsUnitFile(""));
  EXPECT_TRUE(FitsUnitFile("Mon *-*-* 10:00"));
}

}  // namespace
}  // namespace kestrel
