#pragma once

#include <optional>
#include <string_view>

#include "platform/date_time.h"

namespace kestrel {

// The removal date a path carries: midnight of the month-day-year date in the ten characters
// right after the first occurrence of prefix (ASCII case ignored); nullopt when they are no
// real date.
std::optional<DateTime> ReadRemovalDate(std::string_view path, std::string_view prefix);
// Returns true iff the date lies before the file's last-write stamp: the run then warns
// "Deletion date is before file creation date" and the file never comes due.
inline bool DateBeforeStamp(DateTime due, DateTime stamp) {
  return due < stamp;
}
// The removal date of the path, or now plus one day (never due) when it carries none.
DateTime ExtractExpiryDate(std::string_view path, std::string_view prefix, DateTime now);

// The removal-date rule for a marked file last written at stamp.
enum class Verdict {
  kDue,          // its date has come
  kNotYet,       // its date lies ahead
  kNoDate,       // no real date after the prefix: never due
  kBeforeStamp,  // its date (or, without one, tomorrow) lies before its stamp: never due, warned
};
Verdict Judge(std::optional<DateTime> date, DateTime stamp, DateTime now);

}  // namespace kestrel
