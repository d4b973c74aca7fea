#include "reports/print_writer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "reports/report_doubles.h"

namespace kestrel::test {
namespace {

using Lines = std::vector<std::string>;

// Page 12000 twips: margin 600. Printable 11000: room 9800, i.e. 98 characters of 100 twips.
class PrintWriterTest : public ::testing::Test {
 protected:
  PrintLog log;
  FakePrintDevice device{log};
  FixedClock clock{*DateTime::FromCivil(2026, 12, 6, 10, 2, 36)};

  Lines Print(const Lines& report_lines) {
    {
      PrintWriter writer(device, clock);
      for (const std::string& line : report_lines) writer.WriteLn(line);
    }
    return PrintedLines(log);
  }
};

TEST_F(PrintWriterTest, SetsTheFontFirstAndEndsTheDocumentOnRelease) {
  Print({"a"});
  EXPECT_EQ(log, (PrintLog{"font Courier New 10", "x 600.000000", "line a", "line ", "end"}));
}

TEST_F(PrintWriterTest, HeaderIsCentredBetweenLineBreaks) {
  {
    PrintWriter writer(device, clock);
    writer.WriterHeader("Warnings");
  }
  const std::string header = "Kestrel Report - Warnings - " + clock.Now().ToDisplayText();
  const float x = 11000.0f / 2 - static_cast<float>(header.size()) * 100.0f / 2;
  EXPECT_EQ(log, (PrintLog{"font Courier New 10", "line \n", "x " + std::to_string(x),
                           "line " + header, "line \n", "end"}));
}

TEST_F(PrintWriterTest, ShortLinesAreDoubleSpaced) {
  EXPECT_EQ(Print({"first", "second"}), (Lines{"first", "", "second", ""}));
}

TEST_F(PrintWriterTest, EmptyAndBlankLinesPrintAsTwoEmptyLines) {
  EXPECT_EQ(Print({"", "    "}), (Lines{"", "", "", ""}));
}

TEST_F(PrintWriterTest, LineExactlyAsWideAsTheRoomStaysWhole) {
  const std::string full(98, 'x');
  EXPECT_EQ(Print({full}), (Lines{full, ""}));
}

TEST_F(PrintWriterTest, OneCharacterMoreGoesToTheNextLine) {
  const std::string full(98, 'x');
  EXPECT_EQ(Print({full + "y"}), (Lines{full, "y", ""}));
  // Every piece starts at the margin.
  int at_margin = 0;
  for (const std::string& entry : log) at_margin += entry == "x 600.000000" ? 1 : 0;
  EXPECT_EQ(at_margin, 2);
}

TEST_F(PrintWriterTest, ContinuationStartsAtItsFirstNonSpace) {
  EXPECT_EQ(Print({"  " + std::string(96, 'x') + "     tail   "}),
            (Lines{"  " + std::string(96, 'x'), "tail", ""}));
}

TEST_F(PrintWriterTest, TrailingSpacesAreDroppedBeforeTheFitTest) {
  const std::string full(98, 'x');
  EXPECT_EQ(Print({full + "   "}), (Lines{full, ""}));
}

TEST_F(PrintWriterTest, VeryLongLineContinuesOverSeveralLines) {
  const std::string line = std::string(98, 'a') + std::string(98, 'b') + "cc";
  EXPECT_EQ(Print({line, "next"}),
            (Lines{std::string(98, 'a'), std::string(98, 'b'), "cc", "", "next", ""}));
}

TEST_F(PrintWriterTest, NulAndEverythingAfterItIsNotPrinted) {
  EXPECT_EQ(Print({std::string("kept  \0hidden", 13)}), (Lines{"kept", ""}));
}

TEST_F(PrintWriterTest, WrapsAtCharactersNotBytes) {
  std::string accented;
  for (int i = 0; i < 99; ++i) accented += "\xC3\xA9";  // é
  const Lines lines = Print({accented});
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], accented.substr(0, 196));
  EXPECT_EQ(lines[1], "\xC3\xA9");
}

TEST_F(PrintWriterTest, PageTooNarrowForOneCharacterStillEnds) {
  device.printable_width = 1250.0f;  // room 50 twips: not even one character
  EXPECT_EQ(Print({"abc"}), (Lines{"a", "b", "c", ""}));
}

TEST_F(PrintWriterTest, MarginFollowsThePageWidthOnEveryLine) {
  PrintWriter writer(device, clock);
  writer.WriteLn("a");
  device.page_width = 10000;
  writer.WriteLn("b");
  EXPECT_EQ(log[1], "x 600.000000");
  EXPECT_EQ(log[4], "x 500.000000");
}

TEST(PrintMarginTest, RoundsHalvesToEven) {
  struct Case {
    int page_width;
    int margin;
  };
  for (const Case& c : {Case{12240, 612}, Case{12250, 612}, Case{12270, 614}, Case{12260, 613},
                        Case{12229, 611}, Case{12230, 612}, Case{11906, 595}, Case{0, 0}}) {
    EXPECT_EQ(PrintMargin(c.page_width), c.margin) << c.page_width;
  }
}

TEST_F(PrintWriterTest, ReleaseSwallowsAFailureToEndTheDocument) {
  device.fail_on_end = true;
  EXPECT_NO_THROW(Print({"a"}));
  EXPECT_EQ(log.back(), "end");
}

}  // namespace
}  // namespace kestrel::test
