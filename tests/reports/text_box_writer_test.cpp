#include "reports/text_box_writer.h"

#include <gtest/gtest.h>

#include "platform/error.h"
#include "reports/report_doubles.h"

namespace kestrel::test {
namespace {

TEST(TextBoxWriterTest, SeparatesLinesWithoutBreaksAtTheEnds) {
  MemoryTextBox box;
  TextBoxWriter writer;
  writer.Device(&box);
  writer.WriteLn("a");
  writer.WriteLn("");
  writer.WriteLn("b");
  EXPECT_EQ(box.text, "a\n\nb");
}

TEST(TextBoxWriterTest, LeadingEmptyLinesLeaveNoTrace) {
  MemoryTextBox box;
  TextBoxWriter writer;
  writer.Device(&box);
  writer.WriteLn("");
  writer.WriteLn("");
  EXPECT_EQ(box.text, "");
  writer.WriteLn("x");
  EXPECT_EQ(box.text, "x");
}

TEST(TextBoxWriterTest, KeepsLinesExactlyAsGiven) {
  MemoryTextBox box;
  TextBoxWriter writer;
  writer.Device(&box);
  const std::string long_line = "  " + std::string(500, 'w') + "  ";
  writer.WriteLn(long_line);
  EXPECT_EQ(box.text, long_line);
}

TEST(TextBoxWriterTest, DeviceEmptiesTheBoxAndHeaderWritesNothing) {
  MemoryTextBox box;
  box.text = "old text";
  TextBoxWriter writer;
  writer.Device(&box);
  EXPECT_EQ(box.text, "");
  writer.WriterHeader("Settings");
  EXPECT_EQ(box.text, "");
}

TEST(TextBoxWriterTest, RejectsAMissingBox) {
  TextBoxWriter writer;
  EXPECT_THROW(writer.Device(nullptr), KsError);
  EXPECT_THROW(writer.WriteLn("a"), KsError);
}

}  // namespace
}  // namespace kestrel::test
