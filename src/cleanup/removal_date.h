#pragma once

#include <optional>
#include <string_view>

#include "platform/date_time.h"

namespace kestrel {

// The removal date a run reads from a path: midnight of the MM-DD-YYYY date that directly
// follows the first occurrence of token in the whole path (ASCII case ignored); nullopt when
// the token is absent or not followed by a real date.
std::optional<DateTime> RemovalDateIn(std::string_view path, std::string_view token);
// Midnight of the date in a ten-character "MM-DD-YYYY" text; nullopt iff it is no real date.
std::optional<DateTime> ReadMarkDate(std::string_view text);
// Returns true iff a run refuses the date for a file of that last-write stamp ("Deletion date
// is before file creation date"): such a file never comes due.
inline bool DateBeforeStamp(DateTime due, DateTime stamp) {
  return due < stamp;
}
// The length of "MM-DD-YYYY".
inline constexpr size_t kMarkDateLength = 10;

}  // namespace kestrel
