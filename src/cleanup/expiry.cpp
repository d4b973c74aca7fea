// Whether a candidate's removal date has come.
#include <exception>

#include "app/functions.h"
#include "cleanup/discovery.h"
#include "cleanup/path_text.h"
#include "cleanup/run_state.h"
#include "config/kestrel_cfg.h"
#include "fs/win32_wrapper.h"
#include "platform/escape_text.h"
#include "reports/run_records.h"

namespace kestrel {
namespace {

constexpr size_t kDateLength = 10;  // "MM-DD-YYYY"

bool Digits(std::string_view s) {
  for (char c : s) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// Month-day-year, whatever the locale; anything that is not a real date gives nullopt.
std::optional<DateTime> ReadDate(std::string_view text) {
  if (text.size() != kDateLength || text[2] != '-' || text[5] != '-') return std::nullopt;
  const auto month = text.substr(0, 2), day = text.substr(3, 2), year = text.substr(6, 4);
  if (!Digits(month) || !Digits(day) || !Digits(year)) return std::nullopt;
  auto number = [](std::string_view d) {
    int n = 0;
    for (char c : d) n = n * 10 + (c - '0');
    return n;
  };
  return DateTime::FromCivil(number(year), number(month), number(day));
}

}  // namespace

bool KestrelCfg::FileIsExpired(const std::string& filename) {
  try {
    if (!Win32Wrapper::PathMatchesSpec(filename, BuildFileMask(fn_))) return false;
    const DateTime due = ExtractExpiryDate(filename);
    bool expired = due <= fn_.Now();
    Win32Wrapper fs(fn_.Outside().sys);
    const Win32Wrapper::FileInfo info = fs.Stat(filename);
    if (run_) {
      run_->judged_path = filename;
      run_->judged_info = info;
    }
    if (due < info.stamp) {
      fn_.WarningRpt->RecordWarning("Deletion date is before file creation date: " +
                                    EscapeControlBytes(filename));
      expired = false;
    }
    return expired;
  } catch (...) {
    ReportHandled(fn_.Outside().reporter, "KestrelCfg.FileIsExpired", std::current_exception());
    return false;
  }
}

DateTime KestrelCfg::ExtractExpiryDate(const std::string& filename) {
  DateTime result = fn_.Now().AddDays(1);
  try {
    const size_t at = FindIgnoreCase(filename, prefix_token_);
    if (at != std::string::npos) {
      const std::string_view rest = std::string_view(filename).substr(at + prefix_token_.size());
      if (auto date = ReadDate(rest.substr(0, kDateLength))) result = *date;
    }
  } catch (...) {
    ReportHandled(fn_.Outside().reporter, "KestrelCfg.ExtractExpiryDate", std::current_exception());
  }
  return result;
}

}  // namespace kestrel
