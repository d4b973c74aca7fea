#include "platform/date_time.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <iomanip>
#include <locale>
#include <mutex>
#include <sstream>

namespace kestrel {
namespace {

constexpr std::int64_t kSecondsPerDay = 86400;
// Days from 0000-03-01 based civil count to 1899-12-30 (Howard Hinnant's days_from_civil).
constexpr std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}
constexpr std::int64_t kZeroDay = DaysFromCivil(1899, 12, 30);

bool IsLeap(int y) {
  return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}
int DaysInMonth(int y, int m) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

struct DisplayLocale {
  std::mutex mutex;
  std::locale locale = std::locale::classic();
  bool iso = true;
};
DisplayLocale& Display() {
  static DisplayLocale d;
  return d;
}

// Parses an unsigned decimal field of 1..max_digits digits at pos; advances pos.
bool Number(const std::string& s, size_t& pos, int min_digits, int max_digits, int& out) {
  int n = 0;
  int digits = 0;
  while (pos < s.size() && digits < max_digits &&
         std::isdigit(static_cast<unsigned char>(s[pos]))) {
    n = n * 10 + (s[pos] - '0');
    ++pos;
    ++digits;
  }
  out = n;
  return digits >= min_digits;
}
bool Expect(const std::string& s, size_t& pos, char c) {
  if (pos < s.size() && s[pos] == c) {
    ++pos;
    return true;
  }
  return false;
}

std::optional<DateTime> ParseIso(const std::string& s) {
  size_t p = 0;
  int y, mo, d, h = 0, mi = 0, se = 0;
  if (!Number(s, p, 4, 4, y) || !Expect(s, p, '-') || !Number(s, p, 2, 2, mo) ||
      !Expect(s, p, '-') || !Number(s, p, 2, 2, d))
    return std::nullopt;
  if (p != s.size()) {
    if (!(Expect(s, p, ' ') || Expect(s, p, 'T')) || !Number(s, p, 2, 2, h) || !Expect(s, p, ':') ||
        !Number(s, p, 2, 2, mi) || !Expect(s, p, ':') || !Number(s, p, 2, 2, se) || p != s.size())
      return std::nullopt;
  }
  return DateTime::FromCivil(y, mo, d, h, mi, se);
}

std::optional<DateTime> ParseUs(const std::string& s) {
  size_t p = 0;
  int mo, d, y, h = 0, mi = 0, se = 0;
  if (!Number(s, p, 1, 2, mo) || !Expect(s, p, '/') || !Number(s, p, 1, 2, d) ||
      !Expect(s, p, '/') || !Number(s, p, 4, 4, y))
    return std::nullopt;
  if (p != s.size()) {
    if (!Expect(s, p, ' ') || !Number(s, p, 1, 2, h) || !Expect(s, p, ':') ||
        !Number(s, p, 2, 2, mi) || !Expect(s, p, ':') || !Number(s, p, 2, 2, se) ||
        !Expect(s, p, ' ') || p + 2 != s.size())
      return std::nullopt;
    const char a = static_cast<char>(std::toupper(static_cast<unsigned char>(s[p])));
    const char m = static_cast<char>(std::toupper(static_cast<unsigned char>(s[p + 1])));
    if (m != 'M' || (a != 'A' && a != 'P') || h < 1 || h > 12) return std::nullopt;
    h = (h % 12) + (a == 'P' ? 12 : 0);
  }
  return DateTime::FromCivil(y, mo, d, h, mi, se);
}

}  // namespace

std::optional<DateTime> DateTime::FromCivil(int year, int month, int day, int hour, int minute,
                                            int second) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
      day > DaysInMonth(year, month) || hour < 0 || hour > 23 || minute < 0 || minute > 59 ||
      second < 0 || second > 59)
    return std::nullopt;
  const std::int64_t days =
      DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) - kZeroDay;
  return DateTime(days * kSecondsPerDay + hour * 3600 + minute * 60 + second);
}

DateTime DateTime::FromTimeT(std::time_t t) {
  std::tm tm{};
  localtime_r(&t, &tm);
  const std::int64_t days = DaysFromCivil(tm.tm_year + 1900, static_cast<unsigned>(tm.tm_mon + 1),
                                          static_cast<unsigned>(tm.tm_mday)) -
                            kZeroDay;
  return DateTime(days * kSecondsPerDay + tm.tm_hour * 3600 + tm.tm_min * 60 + tm.tm_sec);
}

DateTime::Civil DateTime::ToCivil() const {
  std::int64_t days = seconds_ / kSecondsPerDay;
  std::int64_t rest = seconds_ % kSecondsPerDay;
  if (rest < 0) {
    rest += kSecondsPerDay;
    --days;
  }
  // civil_from_days
  std::int64_t z = days + kZeroDay + 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2);
  return Civil{static_cast<int>(y),
               static_cast<int>(m),
               static_cast<int>(d),
               static_cast<int>(rest / 3600),
               static_cast<int>(rest / 60 % 60),
               static_cast<int>(rest % 60)};
}

std::string DateTime::ToIsoText() const {
  const Civil c = ToCivil();
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", c.year, c.month, c.day, c.hour,
                c.minute, c.second);
  return buf;
}

std::string DateTime::ToDisplayText() const {
  const Civil c = ToCivil();
  DisplayLocale& d = Display();
  std::lock_guard lock(d.mutex);
  if (d.iso) {
    std::string text = ToIsoText();
    return IsMidnight() ? text.substr(0, 10) : text;
  }
  std::tm tm{};
  tm.tm_year = c.year - 1900;
  tm.tm_mon = c.month - 1;
  tm.tm_mday = c.day;
  tm.tm_hour = c.hour;
  tm.tm_min = c.minute;
  tm.tm_sec = c.second;
  std::ostringstream out;
  out.imbue(d.locale);
  out << std::put_time(&tm, IsMidnight() ? "%x" : "%x %X");
  return out.str();
}

std::optional<DateTime> DateTime::ParseConfigText(const std::string& text) {
  size_t b = text.find_first_not_of(" \t");
  size_t e = text.find_last_not_of(" \t");
  if (b == std::string::npos) return std::nullopt;
  const std::string s = text.substr(b, e - b + 1);
  if (auto iso = ParseIso(s)) return iso;
  return ParseUs(s);
}

void SetDisplayLocale(const std::string& name) {
  std::string time_name = name;
  if (time_name.empty()) {
    for (const char* var : {"LC_ALL", "LC_TIME", "LANG"}) {
      const char* value = std::getenv(var);
      if (value != nullptr && *value != '\0') {
        time_name = value;
        break;
      }
    }
  }
  DisplayLocale& d = Display();
  std::lock_guard lock(d.mutex);
  d.iso = time_name.empty() || time_name == "C" || time_name == "POSIX" ||
          time_name.rfind("C.", 0) == 0;
  try {
    d.locale = d.iso ? std::locale::classic() : std::locale(time_name.c_str());
  } catch (const std::runtime_error&) {
    d.locale = std::locale::classic();
    d.iso = true;
  }
}

}  // namespace kestrel
