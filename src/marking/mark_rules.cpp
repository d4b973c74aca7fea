#include "marking/mark_rules.h"

#include <cstdio>

#include "cleanup/path_text.h"
#include "cleanup/removal_date.h"

namespace kestrel {
namespace {

constexpr size_t kMarkDateLength = 10;  // "MM-DD-YYYY"

// Midnight of the date a ten-character text names, read as a run reads it.
std::optional<DateTime> ReadMarkDate(std::string_view text) {
  return text.size() == kMarkDateLength ? ReadRemovalDate(text, "") : std::nullopt;
}

// Where the extension begins: the last ".", but not a leading one; ".tar.xx" counts whole.
size_t ExtensionStart(std::string_view name, bool folder) {
  if (folder) return name.size();
  const size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return name.size();
  const std::string_view stem = name.substr(0, dot);
  if (stem.size() > 4 && EqualsIgnoreCase(stem.substr(stem.size() - 4), ".tar")) {
    return dot - 4;
  }
  return dot;
}

// Returns true iff text begins with the shape of a mark's date, "DD-DD-DDDD", real or not.
bool HasDateShape(std::string_view text) {
  if (text.size() < kMarkDateLength) return false;
  for (size_t i = 0; i < kMarkDateLength; ++i) {
    const bool dash = i == 2 || i == 5;
    if (dash ? text[i] != '-' : (text[i] < '0' || text[i] > '9')) return false;
  }
  return true;
}

// The position of the first token when a date follows it; npos otherwise. A date that is no
// real day ("02-30-2027") counts, so that a name that never comes due can be mended.
size_t MarkAt(std::string_view name, std::string_view token) {
  const size_t at = FindIgnoreCase(name, token);
  if (at == std::string_view::npos) return at;
  return HasDateShape(name.substr(at + token.size())) ? at : std::string_view::npos;
}

std::optional<DateTime> AddMonths(DateTime::Civil c, long long months) {
  const long long total = c.year * 12LL + (c.month - 1) + months;
  const long long year = total / 12;
  if (year < 1000 || year > 9999) return std::nullopt;
  const int month = static_cast<int>(total % 12) + 1;
  for (int day = c.day; day > 0; --day) {
    if (auto d = DateTime::FromCivil(static_cast<int>(year), month, day)) return d;
  }
  return std::nullopt;
}

bool InRange(DateTime d) {
  const int year = d.ToCivil().year;
  return year >= 1000 && year <= 9999;
}

}  // namespace

std::optional<DateTime> ParseWhen(std::string_view when, DateTime now) {
  if (when.size() == kMarkDateLength) {
    auto date = ReadMarkDate(when);
    if (date && InRange(*date)) return date;
    return std::nullopt;
  }
  // Seven digits reach past 9999 from any day; the range check below decides the rest.
  if (when.size() < 2 || when.size() > 8) return std::nullopt;
  long long n = 0;
  for (char c : when.substr(0, when.size() - 1)) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + (c - '0');
  }
  const DateTime::Civil c = now.ToCivil();
  const auto today = DateTime::FromCivil(c.year, c.month, c.day);
  std::optional<DateTime> result;
  switch (when.back()) {
    case 'd':
      result = today->AddDays(n);
      break;
    case 'w':
      result = today->AddDays(7 * n);
      break;
    case 'm':
      result = AddMonths(c, n);
      break;
    case 'y':
      result = AddMonths(c, 12 * n);
      break;
    default:
      return std::nullopt;
  }
  if (result && !InRange(*result)) return std::nullopt;
  return result;
}

std::string MarkDateText(DateTime date) {
  const DateTime::Civil c = date.ToCivil();
  char text[16];
  std::snprintf(text, sizeof text, "%02d-%02d-%04d", c.month, c.day, c.year);
  return text;
}

std::string MarkedName(std::string_view name, std::string_view token, DateTime date, bool folder) {
  const std::string date_text = MarkDateText(date);
  std::string result(name);
  if (const size_t at = MarkAt(name, token); at != std::string_view::npos) {
    return result.replace(at + token.size(), kMarkDateLength, date_text);
  }
  return result.insert(ExtensionStart(name, folder), " " + std::string(token) + date_text);
}

std::optional<std::string> UnmarkedName(std::string_view name, std::string_view token) {
  size_t at = MarkAt(name, token);
  if (at == std::string_view::npos) return std::nullopt;
  size_t length = token.size() + kMarkDateLength;
  if (at > 0 && name[at - 1] == ' ') {
    --at;
    ++length;
  } else if (at == 0 && length < name.size() && name[length] == ' ') {
    ++length;
  }
  std::string result(name);
  result.erase(at, length);
  if (result.empty() || (result.front() == '.' && name.front() != '.')) return std::nullopt;
  return result;
}

std::string OtherMarkToken(std::string_view name, std::string_view token, bool folder) {
  const std::string_view stem = name.substr(0, ExtensionStart(name, folder));
  if (stem.size() < kMarkDateLength + 2) return "";
  if (!ReadMarkDate(stem.substr(stem.size() - kMarkDateLength))) return "";
  const std::string_view before = stem.substr(0, stem.size() - kMarkDateLength);
  const size_t blank = before.rfind(' ');
  if (blank == std::string_view::npos || blank + 1 == before.size()) return "";
  const std::string_view other = before.substr(blank + 1);
  return EqualsIgnoreCase(other, token) ? "" : std::string(other);
}

}  // namespace kestrel
