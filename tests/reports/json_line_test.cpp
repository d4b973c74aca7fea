#include "reports/json_line.h"

#include <gtest/gtest.h>

namespace kestrel {
namespace {

TEST(JsonLineTest, EscapesTextAndCarriesBytesThatAreNoUtf8) {
  const std::pair<std::string, std::string> cases[] = {
      {"plain /a b.txt", R"({"p":"plain /a b.txt"})"},
      {"q\"b\\s", R"({"p":"q\"b\\s"})"},
      {"a\nb\rc\td\x1b[2J\x7f", R"({"p":"a\nb\rc\td\u001b[2J\u007f"})"},
      {"caf\xc3\xa9 \xf0\x9f\x93\x81", "{\"p\":\"caf\xc3\xa9 \xf0\x9f\x93\x81\"}"},
      {"bad\xff.txt", R"({"p":"bad\ufffd.txt","p_b64":"YmFk/y50eHQ="})"},
      {"\xc0\xaf", R"({"p":"\ufffd\ufffd","p_b64":"wK8="})"},            // overlong "/"
      {"\xed\xa0\x80", R"({"p":"\ufffd\ufffd\ufffd","p_b64":"7aCA"})"},  // a surrogate
      {"end\xe2\x82", R"({"p":"end\ufffd\ufffd","p_b64":"ZW5k4oI="})"},  // cut short
      {"\xff", R"({"p":"\ufffd","p_b64":"/w=="})"},
  };
  for (const auto& [value, json] : cases) EXPECT_EQ(JsonLine().Text("p", value).Str(), json);
  EXPECT_EQ(JsonLine().Text("type", "summary").Number("bytes", -5).Bool("ok", true).Str(),
            R"({"type":"summary","bytes":-5,"ok":true})");
}

}  // namespace
}  // namespace kestrel
