// The removal date in a file name: a date read from a name, written into a name and read again,
// is the same date; ten characters that form a real month-day-year date are always read.
#include <cstdio>

#include "cleanup/path_text.h"
#include "cleanup/removal_date.h"
#include "fuzz_support.h"
#include "marking/mark_rules.h"

namespace {

using kestrel::DateTime;

std::string NameDate(DateTime date) {
  const DateTime::Civil c = date.ToCivil();
  char text[16];
  std::snprintf(text, sizeof text, "%02d-%02d-%04d", c.month, c.day, c.year);
  return text;
}

// A plain reading of "MM-DD-YYYY": digits where digits belong, and a real calendar date.
std::optional<DateTime> Plain(std::string_view t) {
  if (t.size() < 10) return std::nullopt;
  for (size_t i = 0; i < 10; ++i) {
    const bool dash = i == 2 || i == 5;
    if (dash ? t[i] != '-' : (t[i] < '0' || t[i] > '9')) return std::nullopt;
  }
  const auto num = [&](size_t at, size_t n) {
    int v = 0;
    for (size_t i = at; i < at + n; ++i) v = v * 10 + (t[i] - '0');
    return v;
  };
  return DateTime::FromCivil(num(6, 4), num(0, 2), num(3, 2));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  if (size > 1024) return 0;
  const auto [prefix, name] = kestrel::fuzz::TwoTexts(kestrel::fuzz::Text(data, size));
  const std::optional<DateTime> due = kestrel::ReadRemovalDate(name, prefix);

  const size_t at = kestrel::FindIgnoreCase(name, prefix);
  const std::optional<DateTime> plain =
      at == std::string::npos ? std::nullopt
                              : Plain(std::string_view(name).substr(at + prefix.size()));
  FUZZ_CHECK(due == plain, "the date after the first prefix, and only it, is read");
  if (due) {
    FUZZ_CHECK(due->IsMidnight(), "a removal date is a whole day");
    FUZZ_CHECK(name.compare(at + prefix.size(), 10, NameDate(*due)) == 0,
               "the date read is the text in the name");
    const std::string written = prefix + NameDate(*due) + ".xls";
    FUZZ_CHECK(kestrel::ReadRemovalDate(written, prefix) == due,
               "a date written into a name reads back the same");
  }
  // Marking a name that does not carry the token (one without blanks) yet: the run reads the
  // date marked, and unmarking gives the name back.
  if (!prefix.empty() && prefix.find(' ') == std::string::npos && at == std::string::npos) {
    const DateTime date =
        *DateTime::FromCivil(1000 + static_cast<int>(size * 37 % 9000),
                             1 + static_cast<int>(size % 12), 1 + static_cast<int>(size * 7 % 28));
    for (const bool folder : {false, true}) {
      const std::string marked = kestrel::MarkedName(name, prefix, date, folder);
      FUZZ_CHECK(kestrel::ReadRemovalDate(marked, prefix) == date,
                 "the run reads the date a name was marked with");
      FUZZ_CHECK(kestrel::MarkDateText(date) == NameDate(date), "marks are MM-DD-YYYY");
      if (const auto back = kestrel::UnmarkedName(marked, prefix))
        FUZZ_CHECK(*back == name, "unmarking gives the name back");
    }
  }
  return 0;
}
