#include "app/command_line.h"
#include "app/commands/commands.h"
#include "app/commands/forecast.h"
#include "app/commands/preview.h"
#include "preview/forecast.h"
#include "preview/preview.h"
#include "support/engine_fixture.h"

namespace kestrel {
namespace {

using test::At;

// A name holding a line break shows as "\n" in every text line a command prints.
TEST(CommandOutputTest, NamesInTextLinesAreEscaped) {
  const std::string forged = "/d/x\n[Due Now] 1 2020-01-01 /etc/shadow del-01-01-2020";
  const std::string shown = "/d/x\\n[Due Now] 1 2020-01-01 /etc/shadow del-01-01-2020";
  PreviewResult preview;
  preview.items.push_back(PreviewItem{PreviewItem::Kind::kMove, forged, 1, At(2020, 1, 1), "", ""});
  EXPECT_EQ(PreviewLines(preview, false).front(), "[Would Move] 1 " + shown);

  Forecast forecast;
  forecast.due_now.push_back(ForecastEntry{forged, 1, At(2020, 1, 1), At(2019, 1, 1), {}});
  forecast.never_due.push_back(
      ForecastEntry{forged, 1, std::nullopt, At(2020, 1, 1), ForecastEntry::Reason::kNoDate});
  const auto lines = ForecastLines(forecast, false);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "[Due Now] 1 2020-01-01 " + shown);
  EXPECT_EQ(lines[2], "[Never Due] 1 no real date after the prefix: " + shown);
}

class MarkOutputTest : public test::EngineTest {
 protected:
  test::TempDir files;
};

TEST_F(MarkOutputTest, MarkPrintsNamesAndBadInputEscaped) {
  test::MakeFile(files / "x\ny.txt", 1, At(2026, 11, 1));
  testing::internal::CaptureStdout();
  EXPECT_EQ(RunLongCommandLine(fn, {"--mark", "30d", files / "x\ny.txt"}, Commands()), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            files.Path() + "/x\\ny.txt -> x\\ny del-01-05-2027.txt\n");
  EXPECT_TRUE(std::filesystem::exists(files / "x\ny del-01-05-2027.txt"));

  testing::internal::CaptureStderr();
  EXPECT_EQ(RunLongCommandLine(fn, {"--mark", "1\n[x] 1w", files / "a.txt"}, Commands()), 2);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "kestrel: --mark needs Nd, Nw, Nm, Ny or a date MM-DD-YYYY, not \"1\\n[x] 1w\"\n"
            "Try 'kestrel --help'.\n");
}

}  // namespace
}  // namespace kestrel
