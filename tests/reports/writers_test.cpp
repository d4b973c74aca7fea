#include <gtest/gtest.h>

#include "reports/print_writer.h"
#include "support/doubles.h"

namespace kestrel::test {
namespace {

using Lines = std::vector<std::string>;

// Page 12000 twips: margin 600. Printable 11000: room 9800, i.e. 98 characters of 100 twips.
TEST(PrintWriterTest, CutsLinesToTheRoomBetweenTheMargins) {
  const std::string full(98, 'x'), a(98, 'a'), b(98, 'b'), lead = "  " + a.substr(2);
  std::string accented;
  for (int i = 0; i < 99; ++i) accented += "\xC3\xA9";
  const struct {
    const char* what;
    Lines in, out;
    float printable = 11000;
  } cases[] = {
      {"empty and blank lines", {"", "    "}, {"", "", "", ""}},
      {"exactly the width", {full}, {full, ""}},
      {"one character over", {full + "y"}, {full, "y", ""}},
      {"several lines over", {a + b + "cc"}, {a, b, "cc", ""}},
      {"leading spaces after the cut", {lead + "     c  "}, {lead, "c", ""}},
      {"trailing spaces", {full + "   "}, {full, ""}},
      {"NUL", {std::string("kept  \0hidden", 13)}, {"kept", ""}},
      {"characters, not bytes", {accented}, {accented.substr(0, 196), "\xC3\xA9", ""}},
      {"no room for one character", {"abc"}, {"a", "b", "c", ""}, 1250},
  };
  const FakeClock clock(At(2026, 12, 6, 10, 2, 36));
  for (const auto& c : cases) {
    PrintLog log;
    FakePrintDevice device(log);
    device.printable_width = c.printable;
    {
      PrintWriter writer(device, clock);
      for (const std::string& line : c.in) writer.WriteLn(line);
    }
    EXPECT_EQ(PrintedLines(log), c.out) << c.what;
    // Every piece starts at the margin; the gap after each report line needs no position.
    EXPECT_EQ(std::count(log.begin(), log.end(), "x 600.000000"), c.out.size() - c.in.size())
        << c.what;
  }
}

}  // namespace
}  // namespace kestrel::test
