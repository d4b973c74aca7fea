#include "preview/forecast.h"

#include <algorithm>
#include <exception>
#include <unordered_set>

#include "cleanup/clean_up_run.h"
#include "cleanup/discovery.h"
#include "config/kestrel_cfg.h"
#include "fs/destination_folders.h"
#include "fs/outside.h"
#include "fs/tree_size.h"
#include "fs/win32_wrapper.h"

namespace kestrel {
namespace {

// Discovery's lines stay unwritten: a forecast is no run.
class SilentRecorder : public RunRecorder {
 public:
  void Started() override {}
  void Refused(const std::string&) override {}
  void Passed(DateTime, DateTime) override {}
  void FolderScanned(const std::string&, bool) override {}
  void Warning(const std::string&, bool) override {}
  void FileMoved(const RemovedFilePtr&) override {}
  void Stopped(RunEnd, const std::string&) override {}
  void Summary(const std::vector<std::string>&) override {}
};

void ByDate(std::vector<ForecastEntry>& entries) {
  std::stable_sort(entries.begin(), entries.end(),
                   [](const ForecastEntry& a, const ForecastEntry& b) {
                     return a.removal_date < b.removal_date;
                   });
}

}  // namespace

// The quarantine items whose purge comes before the end of the forecast's last day.
static void PurgeDue(Outside& outside, const KestrelCfg& cfg, DateTime end,
                     std::vector<journal::PurgeItem>& out) {
  if (cfg.PurgeAfterDays() <= 0 || cfg.QuarantineFolder().empty()) return;
  const journal::PurgeSetup setup =
      journal::MakePurgeSetup(outside.sys, outside.clock, outside.program_folder,
                              cfg.QuarantineFolder(), cfg.PurgeAfterDays());
  Fd folder;
  if (!setup.quarantine.starts_with('/') ||
      journal::OpenQuarantine(setup.sys, setup.quarantine, folder) != 0 ||
      journal::PurgeRefusal(setup, folder.Get()))
    return;
  journal::PurgePlan plan = journal::PlanPurge(setup, folder.Get());
  for (auto* items : {&plan.due, &plan.later}) {
    for (journal::PurgeItem& item : *items) {
      if (item.due < end && !item.mount) out.push_back(std::move(item));
    }
  }
  std::stable_sort(out.begin(), out.end(),
                   [](const auto& a, const auto& b) { return a.due < b.due; });
}

Forecast MakeForecast(Outside& outside, const KestrelCfg& cfg, std::int32_t days) {
  Forecast forecast;
  forecast.days = days;
  forecast.now = outside.clock.Now();
  const DateTime::Civil today = forecast.now.ToCivil();
  const DateTime horizon =
      DateTime::FromCivil(today.year, today.month, today.day)->AddDays(std::max(days, 0));

  Win32Wrapper fs(outside.sys);
  const FolderList include = cfg.IncludeFolders().empty()
                                 ? MakeFolderList("", fs.GetLocalDrives(), true)
                                 : cfg.IncludeFolders();
  SilentRecorder silent;
  // What earlier runs moved is no longer marked for anything.
  DestinationFolders destinations(outside.sys, cfg.QuarantineFolder());
  const std::vector<std::string> candidates =
      GetTargetFiles(outside, cfg, include, cfg.ExcludeFolders(), BuildFileMask(cfg), silent,
                     nullptr, &destinations);
  std::unordered_set<std::string> seen;
  for (const auto& path : candidates) {
    if (!seen.insert(path).second) continue;
    try {
      ForecastEntry entry;
      entry.path = path;
      entry.removal_date = ReadRemovalDate(path, cfg.PrefixToken());
      const Win32Wrapper::FileInfo info = fs.Stat(path);
      entry.size = info.is_directory ? FolderBytes(outside.sys, path) : info.size;
      entry.stamp = info.stamp;
      entry.folder = info.is_directory;
      entry.read_only = entry.removal_date && fs.FileIsReadOnly(path, info);
      switch (Judge(entry.removal_date, info.stamp, forecast.now)) {
        case Verdict::kDue:
          forecast.due_now.push_back(std::move(entry));
          break;
        case Verdict::kNotYet:
          if (*entry.removal_date <= horizon) forecast.due.push_back(std::move(entry));
          break;
        case Verdict::kNoDate:
        case Verdict::kBeforeStamp:
          entry.never_due = entry.removal_date ? ForecastEntry::Reason::kBeforeStamp
                                               : ForecastEntry::Reason::kNoDate;
          forecast.never_due.push_back(std::move(entry));
      }
    } catch (...) {
      ReportHandled(outside.reporter, "KestrelCfg.FileIsExpired", std::current_exception());
    }
  }
  // What lies in a folder that comes due goes with it, not as an item of its own.
  std::unordered_set<std::string> due_folders;
  for (const auto* list : {&forecast.due_now, &forecast.due}) {
    for (const ForecastEntry& e : *list) {
      if (e.folder) due_folders.insert(e.path);
    }
  }
  const auto inside_due_folder = [&](const ForecastEntry& e) {
    std::string_view rest = e.path;
    for (size_t slash; (slash = rest.find_last_of('/')) != std::string_view::npos && slash > 0;) {
      rest = rest.substr(0, slash);
      if (due_folders.count(std::string(rest)) != 0) return true;
    }
    return false;
  };
  if (!due_folders.empty()) {
    for (auto* list : {&forecast.due_now, &forecast.due, &forecast.never_due})
      std::erase_if(*list, inside_due_folder);
  }
  ByDate(forecast.due_now);
  ByDate(forecast.due);
  PurgeDue(outside, cfg, horizon.AddDays(1), forecast.purge_due);
  return forecast;
}

const char* ReasonName(ForecastEntry::Reason reason) {
  switch (reason) {
    case ForecastEntry::Reason::kNoDate:
      return "no_date";
    case ForecastEntry::Reason::kBeforeStamp:
      return "before_stamp";
    case ForecastEntry::Reason::kNone:
      break;
  }
  return "";
}

const char* ReasonText(ForecastEntry::Reason reason) {
  switch (reason) {
    case ForecastEntry::Reason::kNoDate:
      return "no real date after the prefix";
    case ForecastEntry::Reason::kBeforeStamp:
      return "written after its removal date";
    case ForecastEntry::Reason::kNone:
      break;
  }
  return "";
}

}  // namespace kestrel
