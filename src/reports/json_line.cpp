#include "reports/json_line.h"

#include <algorithm>
#include <cstdio>

#include "platform/utf8.h"

namespace kestrel {
namespace {

void Escape(std::string_view s, std::string& out) {
  out += '"';
  for (size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    const size_t n = Utf8SequenceLength(s, i);
    if (n == 0) {
      out += "\\ufffd";
      ++i;
      continue;
    }
    if (n > 1) {
      out.append(s.substr(i, n));
      i += n;
      continue;
    }
    ++i;
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20 || c == 0x7F) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  out += '"';
}

}  // namespace

bool IsValidUtf8(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    const size_t n = Utf8SequenceLength(text, i);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

std::string Base64(std::string_view bytes) {
  static constexpr char kDigits[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (size_t i = 0; i < bytes.size(); i += 3) {
    const size_t n = std::min<size_t>(3, bytes.size() - i);
    std::uint32_t v = 0;
    for (size_t k = 0; k < 3; ++k) {
      v = v << 8 | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
    }
    for (size_t k = 0; k < 4; ++k) {
      out += k <= n ? kDigits[(v >> (18 - 6 * k)) & 0x3F] : '=';
    }
  }
  return out;
}

void JsonLine::Name(std::string_view name) {
  if (out_.size() > 1) out_ += ',';
  Escape(name, out_);
  out_ += ':';
}

JsonLine& JsonLine::Text(std::string_view name, std::string_view value) {
  Name(name);
  Escape(value, out_);
  if (!IsValidUtf8(value)) {
    Name(std::string(name) + "_b64");
    out_ += '"' + Base64(value) + '"';
  }
  return *this;
}

JsonLine& JsonLine::Number(std::string_view name, std::int64_t value) {
  Name(name);
  out_ += std::to_string(value);
  return *this;
}

JsonLine& JsonLine::Bool(std::string_view name, bool value) {
  Name(name);
  out_ += value ? "true" : "false";
  return *this;
}

const std::string& JsonLine::Str() {
  if (!closed_) out_ += '}';
  closed_ = true;
  return out_;
}

}  // namespace kestrel
