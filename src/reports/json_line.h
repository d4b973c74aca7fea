#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrel {

// One JSON object on one line, field by field in the order added. Text is escaped as JSON
// requires (control bytes as \n, \t, \u001b, ...). Text that is not valid UTF-8 is written
// with U+FFFD for each invalid byte, and a second field, the name + "_b64", carries the exact
// bytes in base64 so that scripts can get the name on disk back.
class JsonLine {
 public:
  JsonLine& Text(std::string_view name, std::string_view value);
  JsonLine& Number(std::string_view name, std::int64_t value);
  JsonLine& Bool(std::string_view name, bool value);
  // The object, without a line break.
  const std::string& Str();

 private:
  void Name(std::string_view name);
  std::string out_ = "{";
  bool closed_ = false;
};

// Returns true iff the text is well-formed UTF-8 (no overlong forms, surrogates or values
// above U+10FFFF).
bool IsValidUtf8(std::string_view text);
// Standard base64 with padding.
std::string Base64(std::string_view bytes);

}  // namespace kestrel
