#include "platform/escape_text.h"

namespace kestrel {

void AppendEscapedControlBytes(std::string& out, std::string_view name) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  // Most names need nothing escaped: they are copied whole.
  size_t plain = 0;
  while (plain < name.size()) {
    const auto byte = static_cast<unsigned char>(name[plain]);
    if (byte < 0x20 || byte == 0x7F || byte == '\\') break;
    ++plain;
  }
  out.append(name.substr(0, plain));
  for (const char c : name.substr(plain)) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte == '\\') {
      out += "\\\\";
    } else if (byte == '\n') {
      out += "\\n";
    } else if (byte == '\r') {
      out += "\\r";
    } else if (byte == '\t') {
      out += "\\t";
    } else if (byte < 0x20 || byte == 0x7F) {
      out += "\\x";
      out += kHex[byte >> 4];
      out += kHex[byte & 0xF];
    } else {
      out += c;
    }
  }
}

std::string EscapeControlBytes(std::string_view name) {
  std::string out;
  out.reserve(name.size());
  AppendEscapedControlBytes(out, name);
  return out;
}

}  // namespace kestrel
