// The date-time texts of "RunDate": what reads as a date is written and read back unchanged.
#include <cstring>

#include "fuzz_support.h"
#include "platform/date_time.h"

using kestrel::DateTime;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  const std::string text(kestrel::fuzz::Text(data, size));
  if (const auto date = DateTime::ParseConfigText(text)) {
    const std::string iso = date->ToIsoText();
    FUZZ_CHECK(iso.size() == 19, "a date is written as YYYY-MM-DD HH:MM:SS");
    FUZZ_CHECK(DateTime::ParseConfigText(iso) == date, "a written date reads back the same");
    const DateTime::Civil c = date->ToCivil();
    FUZZ_CHECK(DateTime::FromCivil(c.year, c.month, c.day, c.hour, c.minute, c.second) == date,
               "a date's fields name the same date");
    // The stored form itself, blanks around it aside, is read exactly.
    const size_t b = text.find_first_not_of(" \t");
    if (text.size() - b >= 19 && text.compare(b, 19, iso) == 0)
      FUZZ_CHECK(text.find_last_not_of(" \t") == b + 18, "nothing follows a stored date");
  }
  // Any moment of the years the program knows is written in a form it reads back.
  if (size >= 8) {
    std::int64_t seconds;
    std::memcpy(&seconds, data, sizeof seconds);
    const std::int64_t span = std::int64_t{3652059} * 86400;   // 0001-01-01 to 9999-12-31
    const std::int64_t first = -std::int64_t{693593} * 86400;  // 0001-01-01 00:00:00
    const DateTime any(first + static_cast<std::int64_t>(static_cast<std::uint64_t>(seconds) %
                                                         static_cast<std::uint64_t>(span)));
    FUZZ_CHECK(DateTime::ParseConfigText(any.ToIsoText()) == any,
               "every moment from year 1 to 9999 reads back from its stored form");
  }
  return 0;
}
