#include "platform/date_time.h"

#include <gtest/gtest.h>

#include <locale>

namespace kestrel {
namespace {

TEST(DateTimeTest, ZeroDateAndCivilRoundTrip) {
  EXPECT_EQ(DateTime().ToIsoText(), "1899-12-30 00:00:00");
  EXPECT_EQ(DateTime::FromCivil(1899, 12, 31)->Seconds(), 86400);
  EXPECT_EQ(DateTime::FromCivil(1899, 12, 29)->Seconds(), -86400);
  for (const auto& text : {"2026-12-06 10:02:36", "2000-02-29 23:59:59", "1900-03-01 00:00:01",
                           "9999-12-31 23:59:59", "0001-01-01 00:00:00"}) {
    EXPECT_EQ(DateTime::ParseConfigText(text)->ToIsoText(), text);
  }
}

TEST(DateTimeTest, RejectsDatesThatDoNotExist) {
  EXPECT_FALSE(DateTime::FromCivil(2026, 2, 29));
  EXPECT_FALSE(DateTime::FromCivil(1900, 2, 29));  // not a leap year
  EXPECT_TRUE(DateTime::FromCivil(2000, 2, 29));
  EXPECT_FALSE(DateTime::FromCivil(2026, 13, 1));
  EXPECT_FALSE(DateTime::FromCivil(2026, 4, 31));
  EXPECT_FALSE(DateTime::FromCivil(2026, 1, 1, 24, 0, 0));
}

struct ParseCase {
  const char* text;
  const char* iso;  // nullptr: not a date-time
};

class ConfigTextTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ConfigTextTest, Reads) {
  const auto parsed = DateTime::ParseConfigText(GetParam().text);
  if (GetParam().iso == nullptr) {
    EXPECT_FALSE(parsed) << GetParam().text;
  } else {
    ASSERT_TRUE(parsed) << GetParam().text;
    EXPECT_EQ(parsed->ToIsoText(), GetParam().iso);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Forms, ConfigTextTest,
    ::testing::Values(ParseCase{"2026-12-05 22:00:00", "2026-12-05 22:00:00"},
                      ParseCase{"  2026-12-05 22:00:00 ", "2026-12-05 22:00:00"},
                      ParseCase{"2026-12-05", "2026-12-05 00:00:00"},
                      ParseCase{"2026-12-05T07:08:09", "2026-12-05 07:08:09"},
                      ParseCase{"10/14/2003 9:05:12 AM", "2003-10-14 09:05:12"},
                      ParseCase{"10/14/2003 9:05:12 PM", "2003-10-14 21:05:12"},
                      ParseCase{"1/2/2003 12:00:00 AM", "2003-01-02 00:00:00"},
                      ParseCase{"1/2/2003 12:30:00 pm", "2003-01-02 12:30:00"},
                      ParseCase{"1/2/2003", "2003-01-02 00:00:00"}, ParseCase{"13/2/2003", nullptr},
                      ParseCase{"2/30/2003", nullptr}, ParseCase{"1/2/2003 13:00:00 PM", nullptr},
                      ParseCase{"1/2/2003 9:05:12", nullptr}, ParseCase{"2026-12-5", nullptr},
                      ParseCase{"2026-12-05 22:00", nullptr}, ParseCase{"", nullptr},
                      ParseCase{"yesterday", nullptr}, ParseCase{"2026-12-05 22:00:00x", nullptr}));

TEST(DateTimeTest, DisplayTextInTheCLocaleIsIsoAndMidnightShowsTheDateAlone) {
  SetDisplayLocale("C");
  EXPECT_EQ(DateTime::FromCivil(2026, 12, 6, 10, 2, 36)->ToDisplayText(), "2026-12-06 10:02:36");
  EXPECT_EQ(DateTime::FromCivil(2026, 12, 6)->ToDisplayText(), "2026-12-06");
  EXPECT_EQ(DateTime::FromCivil(2026, 12, 6, 0, 0, 1)->ToDisplayText(), "2026-12-06 00:00:01");
}

TEST(DateTimeTest, DisplayTextFollowsTheUsersTimeLocale) {
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

TEST(DateTimeTest, FromTimeTReadsLocalWallClock) {
  setenv("TZ", "UTC", 1);
  tzset();
  EXPECT_EQ(DateTime::FromTimeT(0).ToIsoText(), "1970-01-01 00:00:00");
  EXPECT_EQ(DateTime::FromTimeT(1796551356).ToIsoText(), "2026-12-06 10:02:36");
  unsetenv("TZ");
  tzset();
}

}  // namespace
}  // namespace kestrel
