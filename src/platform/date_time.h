#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

namespace kestrel {

// Local wall-clock time in whole seconds, counted from the zero date-time 1899-12-30 00:00:00.
class DateTime {
 public:
  constexpr DateTime() = default;
  constexpr explicit DateTime(std::int64_t seconds) : seconds_(seconds) {}

  // Returns nullopt iff the fields do not name a real calendar date and time of day.
  static std::optional<DateTime> FromCivil(int year, int month, int day, int hour = 0,
                                           int minute = 0, int second = 0);
  // The local wall-clock time of a moment of the system clock.
  static DateTime FromTimeT(std::time_t t);

  constexpr std::int64_t Seconds() const { return seconds_; }
  constexpr bool IsMidnight() const { return ((seconds_ % 86400) + 86400) % 86400 == 0; }
  constexpr DateTime AddSeconds(std::int64_t s) const { return DateTime(seconds_ + s); }
  constexpr DateTime AddDays(std::int64_t d) const { return DateTime(seconds_ + d * 86400); }

  struct Civil {
    int year, month, day, hour, minute, second;
  };
  Civil ToCivil() const;

  // "YYYY-MM-DD HH:MM:SS": the form stored in configuration files.
  std::string ToIsoText() const;
  // The user's short date and long time (LC_TIME); ISO form in the C/POSIX locale.
  // Midnight shows the date alone.
  std::string ToDisplayText() const;

  // Reads "YYYY-MM-DD HH:MM:SS", "YYYY-MM-DD", "M/D/YYYY h:mm:ss AM" and "M/D/YYYY".
  // Returns nullopt iff the text is none of these or names no real date-time.
  static std::optional<DateTime> ParseConfigText(const std::string& text);

  friend constexpr auto operator<=>(DateTime, DateTime) = default;

 private:
  std::int64_t seconds_ = 0;
};

// Selects the locale whose LC_TIME forms ToDisplayText uses; "" means the user's environment.
// Falls back to the C locale when the name is unknown.
void SetDisplayLocale(const std::string& name);

}  // namespace kestrel
