// Whether a candidate's removal date has come.
#include <exception>

#include "app/functions.h"
#include "cleanup/discovery.h"
#include "cleanup/removal_date.h"
#include "cleanup/run_state.h"
#include "config/kestrel_cfg.h"
#include "fs/win32_wrapper.h"
#include "reports/run_records.h"

namespace kestrel {

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
    if (DateBeforeStamp(due, info.stamp)) {
      fn_.WarningRpt->RecordWarning("Deletion date is before file creation date: " + filename);
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
    if (auto date = RemovalDateIn(filename, prefix_token_)) result = *date;
  } catch (...) {
    ReportHandled(fn_.Outside().reporter, "KestrelCfg.ExtractExpiryDate", std::current_exception());
  }
  return result;
}

}  // namespace kestrel
