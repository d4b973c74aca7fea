#include "marking/mark_rules.h"

#include <gtest/gtest.h>

#include "support/engine_fixture.h"

namespace kestrel {
namespace {

using test::At;

TEST(MarkRules, ParsesWhen) {
  const DateTime now = At(2026, 12, 6, 15, 30);
  struct Case {
    const char* when;
    std::optional<DateTime> day;
  };
  const Case cases[] = {
      {"30d", At(2027, 1, 5)},        {"0d", At(2026, 12, 6)},    {"2w", At(2026, 12, 20)},
      {"3m", At(2027, 3, 6)},         {"1y", At(2027, 12, 6)},    {"01-05-2027", At(2027, 1, 5)},
      {"02-30-2027", std::nullopt},   {"1-5-2027", std::nullopt}, {"d", std::nullopt},
      {"-3d", std::nullopt},          {"3x", std::nullopt},       {"3D", std::nullopt},
      {"99999y", std::nullopt},       {"", std::nullopt},         {"12-31-0999", std::nullopt},
      {"100000d", At(2300, 9, 21)},   {"7973y", At(9999, 12, 6)}, {"7974y", std::nullopt},
      {"2912103d", At(9999, 12, 31)}, {"2912104d", std::nullopt}, {"99999999d", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseWhen(c.when, now), c.day) << c.when;
  // A month later keeps the day, or takes the month's last.
  EXPECT_EQ(ParseWhen("1m", At(2027, 1, 31)), At(2027, 2, 28));
  EXPECT_EQ(ParseWhen("1y", At(2028, 2, 29)), At(2029, 2, 28));
}

TEST(MarkRules, MarksAndUnmarksNames) {
  struct Case {
    const char* name;
    bool folder;
    const char* marked;    // with "del-" and 01-05-2027
    const char* unmarked;  // the marked name without its mark; "" when none is left
  };
  const Case cases[] = {
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
  for (const Case& c : cases) {
    const std::string marked = MarkedName(c.name, "del-", At(2027, 1, 5), c.folder);
    EXPECT_EQ(marked, c.marked) << c.name;
    EXPECT_EQ(UnmarkedName(marked, "del-").value_or(""), c.unmarked) << c.name;
  }
  EXPECT_EQ(UnmarkedName("budget.xls", "del-"), std::nullopt);
  EXPECT_EQ(UnmarkedName("del-01-05-2027.xls", "del-"), std::nullopt);
  EXPECT_EQ(UnmarkedName("del-01-05-2027", "del-"), std::nullopt);
}

TEST(MarkRules, FindsAMarkOfAnotherToken) {
  EXPECT_EQ(OtherMarkToken("budget rm-01-05-2027.xls", "del-", false), "rm-");
  EXPECT_EQ(OtherMarkToken("budget RM-01-05-2027", "rm-", true), "");
  EXPECT_EQ(OtherMarkToken("budget del-01-05-2027.xls", "del-", false), "");
  EXPECT_EQ(OtherMarkToken("minutes 01-05-2027.txt", "del-", false), "");
  EXPECT_EQ(OtherMarkToken("x rm-02-30-2027.txt", "del-", false), "");
}

}  // namespace
}  // namespace kestrel
