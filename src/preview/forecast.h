#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "journal/purge.h"
#include "platform/date_time.h"

namespace kestrel {

struct Outside;
class KestrelCfg;

// One marked file of a forecast.
struct ForecastEntry {
  enum class Reason {
    kNone,
    kNoDate,       // the text after the first prefix is no real date
    kBeforeStamp,  // the file was written after its removal date
  };
  std::string path;
  std::int64_t size = 0;
  std::optional<DateTime> removal_date;
  DateTime stamp;
  Reason never_due = Reason::kNone;  // why it never comes due
  bool folder = false;               // a marked folder: size counts the files below it
  bool read_only = false;            // a due file the run will refuse to move
};

struct Forecast {
  std::int32_t days = 0;
  DateTime now;
  std::vector<ForecastEntry> due_now;    // due at the next run, by removal date
  std::vector<ForecastEntry> due;        // due within the days, by removal date
  std::vector<ForecastEntry> never_due;  // in scan order
  std::vector<journal::PurgeItem> purge_due;  // quarantine items purged by then, by due time
};

// The marked files of cfg's folders, found by the run's own discovery and judged by its
// removal-date rule: due now, due within days (whole days after today), or never due. Each
// path once; files due later, and what lies in a folder that comes due, are left out.
// Writes nothing; a file that cannot be read is reported under "KestrelCfg.FileIsExpired"
// and left out.
Forecast MakeForecast(Outside& outside, const KestrelCfg& cfg, std::int32_t days);

// "no_date" or "before_stamp" (empty for kNone).
const char* ReasonName(ForecastEntry::Reason reason);
// What a person reads: "no real date after the prefix", "written after its removal date".
const char* ReasonText(ForecastEntry::Reason reason);

}  // namespace kestrel
