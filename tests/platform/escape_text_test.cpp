#include "platform/escape_text.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "platform/error.h"

namespace kestrel {
namespace {

// A system error names its path escaped too.
TEST(EscapeControlBytesTest, ControlBytesAndBackslashAreEscapedEverythingElseKept) {
  const std::pair<std::string, std::string> cases[] = {
      {"a\rb\tc", "a\\rb\\tc"},
      {std::string("nul\0end", 7), "nul\\x00end"},
      {"\x01\x1B[31m\x1F\x7F", "\\x01\\x1B[31m\\x1F\\x7F"},
      {" ~", " ~"},          // 0x20 and 0x7E are printable
      {"a\\nb", "a\\\\nb"},  // a real backslash stays distinguishable
      {"caf\xC3\xA9 caf\xE9 \x80\xFF", "caf\xC3\xA9 caf\xE9 \x80\xFF"},  // bytes >= 0x80 kept
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(EscapeControlBytes(in), out) << out;
  EXPECT_EQ(SystemError(ENOENT, "open", "/tmp/a\nb", "Test").Description(),
            "open failed for /tmp/a\\nb: No such file or directory");
}

}  // namespace
}  // namespace kestrel
