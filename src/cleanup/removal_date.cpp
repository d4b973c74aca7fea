#include "cleanup/removal_date.h"

#include "cleanup/path_text.h"

namespace kestrel {
namespace {

constexpr size_t kDateLength = 10;  // "MM-DD-YYYY"

bool Digits(std::string_view s) {
  for (char c : s) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

int Number(std::string_view digits) {
  int n = 0;
  for (char c : digits) n = n * 10 + (c - '0');
  return n;
}

}  // namespace

std::optional<DateTime> ReadRemovalDate(std::string_view path, std::string_view prefix) {
  const size_t at = FindIgnoreCase(path, prefix);
  if (at == std::string_view::npos) return std::nullopt;
  const std::string_view text = path.substr(at + prefix.size()).substr(0, kDateLength);
  // Month-day-year, whatever the locale.
  if (text.size() != kDateLength || text[2] != '-' || text[5] != '-') return std::nullopt;
  const auto month = text.substr(0, 2), day = text.substr(3, 2), year = text.substr(6, 4);
  if (!Digits(month) || !Digits(day) || !Digits(year)) return std::nullopt;
  return DateTime::FromCivil(Number(year), Number(month), Number(day));
}

DateTime ExtractExpiryDate(std::string_view path, std::string_view prefix, DateTime now) {
  return ReadRemovalDate(path, prefix).value_or(now.AddDays(1));
}

Verdict Judge(std::optional<DateTime> date, DateTime stamp, DateTime now) {
  // A file is due from 00:00 of its date, unless it was written after that.
  if (DateBeforeStamp(date.value_or(now.AddDays(1)), stamp)) return Verdict::kBeforeStamp;
  if (!date) return Verdict::kNoDate;
  return *date <= now ? Verdict::kDue : Verdict::kNotYet;
}

}  // namespace kestrel
