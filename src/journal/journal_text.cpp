#include "journal/journal_text.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

#include "platform/utf8.h"

namespace kestrel::journal {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string Escape(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  // Most names are printable ASCII: a journal line per moved file should not cost a copy per byte.
  if (std::all_of(bytes.begin(), bytes.end(), [](char ch) {
        const auto c = static_cast<unsigned char>(ch);
        return c >= 0x20 && c < 0x7F && c != '\\';
      }))
    return std::string(bytes);
  std::string out;
  out.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size();) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    if (c >= 0x80) {
      const size_t n = Utf8SequenceLength(bytes, i);
      if (n > 0) {
        out.append(bytes.substr(i, n));
        i += n;
        continue;
      }
    }
    ++i;
    switch (c) {
      case '\\':
        out += "\\\\";
        continue;
      case '\t':
        out += "\\t";
        continue;
      case '\n':
        out += "\\n";
        continue;
      case '\r':
        out += "\\r";
        continue;
      default:
        break;
    }
    if (c < 0x20 || c >= 0x7F) {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::optional<std::string> Unescape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\t' || c == '\n' || c == '\r') return std::nullopt;
    if (c != '\\') {
      out += c;
      continue;
    }
    if (++i >= text.size()) return std::nullopt;
    switch (text[i]) {
      case '\\':
        out += '\\';
        break;
      case 't':
        out += '\t';
        break;
      case 'n':
        out += '\n';
        break;
      case 'r':
        out += '\r';
        break;
      case 'x': {
        if (i + 2 >= text.size()) return std::nullopt;
        const int hi = HexValue(text[i + 1]), lo = HexValue(text[i + 2]);
        if (hi < 0 || lo < 0) return std::nullopt;
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
        break;
      }
      default:
        return std::nullopt;
    }
  }
  return out;
}

std::string Tab(std::string_view field) {
  std::string out = "\t";
  out += field;
  return out;
}

std::vector<std::string_view> SplitFields(std::string_view line) {
  std::vector<std::string_view> fields;
  for (size_t pos = 0;;) {
    const size_t tab = line.find('\t', pos);
    fields.push_back(line.substr(pos, tab == std::string_view::npos ? tab : tab - pos));
    if (tab == std::string_view::npos) return fields;
    pos = tab + 1;
  }
}

namespace {

std::string CivilText(DateTime t, char date_time_sep, char time_sep) {
  const DateTime::Civil c = t.ToCivil();
  if (c.year < 0 || c.year > 9999) {
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d%c%02d%c%02d%c%02d", c.year, c.month, c.day,
                  date_time_sep, c.hour, time_sep, c.minute, time_sep, c.second);
    return text;
  }
  // Written by hand: every journal line carries a time, and snprintf costs as much as the rest.
  std::string text = "0000-00-00T00:00:00";
  const auto put = [&](size_t at, int value, int digits) {
    for (size_t i = at + static_cast<size_t>(digits); i-- > at; value /= 10)
      text[i] = static_cast<char>('0' + value % 10);
  };
  put(0, c.year, 4), put(5, c.month, 2), put(8, c.day, 2);
  put(11, c.hour, 2), put(14, c.minute, 2), put(17, c.second, 2);
  text[10] = date_time_sep, text[13] = text[16] = time_sep;
  return text;
}

}  // namespace

std::string IsoText(DateTime t) {
  return CivilText(t, 'T', ':');
}

std::string RunNameFor(DateTime t) {
  return CivilText(t, 'T', '-');
}

std::optional<DateTime> ParseIso(std::string_view text) {
  if (text.size() != 19 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' ||
      text[16] != ':')
    return std::nullopt;
  const auto part = [&](size_t at, size_t len) { return ParseNumber(text.substr(at, len)); };
  const auto y = part(0, 4), mo = part(5, 2), d = part(8, 2), h = part(11, 2), mi = part(14, 2),
             s = part(17, 2);
  if (!y || !mo || !d || !h || !mi || !s) return std::nullopt;
  return DateTime::FromCivil(static_cast<int>(*y), static_cast<int>(*mo), static_cast<int>(*d),
                             static_cast<int>(*h), static_cast<int>(*mi), static_cast<int>(*s));
}

std::optional<std::uint64_t> ParseNumber(std::string_view text, int base) {
  std::uint64_t value = 0;
  if (text.empty()) return std::nullopt;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace kestrel::journal
