#include "platform/date_time.h"

#include <gtest/gtest.h>

#include <locale>

namespace kestrel {
namespace {

TEST(DateTimeTest, ZeroDateIsTheEpochAndTimeTIsLocalWallClock) {
  EXPECT_EQ(DateTime().ToIsoText(), "1899-12-30 00:00:00");
  EXPECT_EQ(DateTime::FromCivil(1899, 12, 31)->Seconds(), 86400);
  EXPECT_EQ(DateTime::FromCivil(1899, 12, 29)->Seconds(), -86400);
  setenv("TZ", "UTC", 1);
  tzset();
  EXPECT_EQ(DateTime::FromTimeT(1796551356).ToIsoText(), "2026-12-06 10:02:36");
  unsetenv("TZ");
  tzset();
}

// Each form read, and texts that are no real date-time.
TEST(DateTimeTest, ConfigTextReadsItsFormsAndRealDatesOnly) {
  const std::pair<const char*, const char*> cases[] = {
      {"  2026-12-05 22:00:00 ", "2026-12-05 22:00:00"},
      {"9999-12-31 23:59:59", "9999-12-31 23:59:59"},
      {"0001-01-01 00:00:00", "0001-01-01 00:00:00"},
      {"2000-02-29 23:59:59", "2000-02-29 23:59:59"},
      {"2026-12-05", "2026-12-05 00:00:00"},
      {"2026-12-05T07:08:09", "2026-12-05 07:08:09"},
      {"10/14/2003 9:05:12 AM", "2003-10-14 09:05:12"},
      {"10/14/2003 9:05:12 PM", "2003-10-14 21:05:12"},
      {"1/2/2003 12:00:00 AM", "2003-01-02 00:00:00"},
      {"1/2/2003 12:30:00 pm", "2003-01-02 12:30:00"},
      {"1/2/2003", "2003-01-02 00:00:00"},
  };
  for (const auto& [text, iso] : cases) {
    const auto parsed = DateTime::ParseConfigText(text);
    EXPECT_EQ(parsed ? parsed->ToIsoText() : "none", iso) << text;
  }
  // 1900 is no leap year.
  for (const char* text :
       {"2026-02-29", "1900-02-29", "2026-13-01", "2026-04-31", "2026-01-01 24:00:00", "13/2/2003",
        "2/30/2003", "1/2/2003 13:00:00 PM", "1/2/2003 9:05:12", "2026-12-5", "2026-12-05 22:00",
        "", "yesterday", "2026-12-05 22:00:00x"})
    EXPECT_FALSE(DateTime::ParseConfigText(text).has_value()) << text;
}

// The C locale shows ISO text; midnight shows the date alone.
TEST(DateTimeTest, DisplayTextFollowsTheUsersTimeLocale) {
  SetDisplayLocale("C");
  EXPECT_EQ(DateTime::FromCivil(2026, 12, 6, 10, 2, 36)->ToDisplayText(), "2026-12-06 10:02:36");
  EXPECT_EQ(DateTime::FromCivil(2026, 12, 6)->ToDisplayText(), "2026-12-06");
  EXPECT_EQ(DateTime::FromCivil(2026, 12, 6, 0, 0, 1)->ToDisplayText(), "2026-12-06 00:00:01");
  try {
    std::locale probe("en_US.UTF-8");
  } catch (const std::runtime_error&) {
    GTEST_SKIP() << "en_US.UTF-8 is not installed";
  }
  SetDisplayLocale("en_US.UTF-8");
  EXPECT_EQ(DateTime::FromCivil(2003, 10, 14, 21, 5, 12)->ToDisplayText(),
            "10/14/2003 09:05:12 PM");
  EXPECT_EQ(DateTime::FromCivil(2003, 10, 14)->ToDisplayText(), "10/14/2003");
  SetDisplayLocale("C");
}

}  // namespace
}  // namespace kestrel
