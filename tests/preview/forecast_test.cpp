#include "preview/forecast.h"

#include "support/engine_fixture.h"

namespace kestrel {
namespace {

using test::At;
class ForecastTest : public test::EngineTest {};

// Now is 2026-12-06 10:00:00; the forecast looks 7 days ahead, to 2026-12-13 inclusive. A
// marked folder comes as one item with the bytes below it (3 here, as every file); what it
// holds goes along.
TEST_F(ForecastTest, GroupsDueNowWithinTheDaysAndNeverDueWithTheReason) {
  const std::pair<const char*, DateTime> files[] = {
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
  test::TempDir tree;
  for (const auto& [name, stamp] : files) test::MakeFile(tree / name, 3, stamp);
  for (const char* folder : {"/now del-11-30-2026", "/soon del-12-08-2026"}) {
    test::MakeFile(tree.Path() + folder + "/a del-01-01-2026.txt", 2, At(2025, 1, 1));
    test::MakeFile(tree.Path() + folder + "/b.txt", 1, At(2025, 1, 1));
    test::SetStamp(tree.Path() + folder, At(2025, 1, 1));
  }
  Cfg().IncludeFolders().emplace_back(tree.Path(), true);
  Cfg().IncludeFolders().emplace_back(tree.Path(), false);  // every path twice

  const Forecast f = MakeForecast(fn.Outside(), Cfg(), 7);

  auto names = [&](const std::vector<ForecastEntry>& entries) {
    std::vector<std::string> out;
    for (const auto& e : entries) {
      out.push_back(e.path.substr(tree.Path().size() + 1) + (e.size == 3 ? "" : " size?") +
                    ReasonName(e.never_due));
    }
    return out;
  };
  EXPECT_EQ(names(f.due_now),
            (std::vector<std::string>{"a del-01-15-2025.txt", "now del-11-30-2026",
                                      "b del-12-01-2026.txt", "today del-12-06-2026.txt"}));
  EXPECT_EQ(names(f.due),
            (std::vector<std::string>{"tomorrow del-12-07-2026.txt", "soon del-12-08-2026",
                                      "last day del-12-13-2026.txt"}));
  std::vector<std::string> never = names(f.never_due);
  std::sort(never.begin(), never.end());
  EXPECT_EQ(never, (std::vector<std::string>{"long past del-03-01-2020.txtbefore_stamp",
                                             "no such day del-02-30-2027.txtno_date",
                                             "written today del-12-06-2026.txtbefore_stamp"}));
  EXPECT_FALSE(std::filesystem::exists(home / "Kestrel.log"));
  EXPECT_TRUE(reporter.reports.empty());
}

}  // namespace
}  // namespace kestrel
