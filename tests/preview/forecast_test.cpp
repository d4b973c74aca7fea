#include "preview/forecast.h"

#include "support/engine_fixture.h"

namespace kestrel {
namespace {

using test::At;
using test::MakeFile;

// Now is 2026-12-06 10:00:00; the forecast looks 7 days ahead, to 2026-12-13 inclusive.
TEST(ForecastTest, GroupsDueNowWithinTheDaysAndNeverDueWithTheReason) {
  struct Case {
    const char* name;
    DateTime stamp;
  };
  const Case cases[] = {
      {"b del-12-01-2026.txt", At(2026, 1, 1)},
      {"a del-01-15-2025.txt", At(2024, 1, 1)},
      {"today del-12-06-2026.txt", At(2026, 12, 5)},
      {"written today del-12-06-2026.txt", At(2026, 12, 6, 9)},
      {"long past del-03-01-2020.txt", At(2021, 5, 5)},
      {"no such day del-02-30-2027.txt", At(2026, 1, 1)},
      {"tomorrow del-12-07-2026.txt", At(2026, 1, 1)},
      {"last day del-12-13-2026.txt", At(2026, 1, 1)},
      {"day after del-12-14-2026.txt", At(2026, 1, 1)},
      {"unmarked.txt", At(2020, 1, 1)},
  };
  test::FakeClock clock(At(2026, 12, 6, 10));
  test::RecordingReporter reporter;
  test::TempDir home, tree;
  Functions fn(Outside{clock, reporter, RealSys(), home.Path()});
  for (const Case& c : cases) MakeFile(tree / c.name, 3, c.stamp);
  fn.CurrentCfg->IncludeFolders().emplace_back(tree.Path(), true);
  fn.CurrentCfg->IncludeFolders().emplace_back(tree.Path(), false);  // every path twice

  const Forecast f = MakeForecast(fn.Outside(), *fn.CurrentCfg, 7);

  auto names = [&](const std::vector<ForecastEntry>& entries) {
    std::vector<std::string> out;
    for (const auto& e : entries) {
      out.push_back(e.path.substr(tree.Path().size() + 1) + (e.size == 3 ? "" : " size?") +
                    ReasonName(e.never_due));
    }
    return out;
  };
  EXPECT_EQ(names(f.due_now),
            (std::vector<std::string>{"a del-01-15-2025.txt", "b del-12-01-2026.txt",
                                      "today del-12-06-2026.txt"}));
  EXPECT_EQ(names(f.due), (std::vector<std::string>{"tomorrow del-12-07-2026.txt",
                                                    "last day del-12-13-2026.txt"}));
  std::vector<std::string> never = names(f.never_due);
  std::sort(never.begin(), never.end());
  EXPECT_EQ(never, (std::vector<std::string>{"long past del-03-01-2020.txtbefore_stamp",
                                             "no such day del-02-30-2027.txtno_date",
                                             "written today del-12-06-2026.txtbefore_stamp"}));
  EXPECT_FALSE(std::filesystem::exists(home / "Kestrel.log"));
  EXPECT_TRUE(reporter.reports.empty());
}

// A marked folder comes due as one item with the bytes below it; what it holds goes along.
TEST(ForecastTest, MarkedFolderIsListedOnceWithItsFilesBytes) {
  test::FakeClock clock(At(2026, 12, 6, 10));
  test::RecordingReporter reporter;
  test::TempDir home, tree;
  Functions fn(Outside{clock, reporter, RealSys(), home.Path()});
  for (const char* folder : {"/now del-12-01-2026", "/soon del-12-08-2026"}) {
    MakeFile(tree.Path() + folder + "/a del-01-01-2026.txt", 1000, At(2025, 1, 1));
    MakeFile(tree.Path() + folder + "/b.txt", 24, At(2025, 1, 1));
    test::SetStamp(tree.Path() + folder, At(2025, 1, 1));
  }
  fn.CurrentCfg->IncludeFolders().emplace_back(tree.Path(), true);

  const Forecast f = MakeForecast(fn.Outside(), *fn.CurrentCfg, 7);

  ASSERT_EQ(f.due_now.size(), 1u);
  EXPECT_EQ(f.due_now[0].path, tree / "now del-12-01-2026");
  EXPECT_EQ(f.due_now[0].size, 1024);
  ASSERT_EQ(f.due.size(), 1u);
  EXPECT_EQ(f.due[0].path, tree / "soon del-12-08-2026");
  EXPECT_TRUE(f.never_due.empty());
}

}  // namespace
}  // namespace kestrel
