#include "cleanup/report_recorder.h"

#include "config/kestrel_cfg.h"
#include "logging/log_file.h"
#include "platform/escape_text.h"
#include "reports/run_records.h"

namespace kestrel {

void ReportRecorder::Started() {
  world_.log.Initialize(cfg_.MaxKBLogFile());
  cfg_.LastPurge({});
}

void ReportRecorder::Refused(const std::string& text) {
  world_.removals.RecordMessage(text);
  world_.warnings.RecordWarning(text);
  world_.log.WriteLogMessage(text);
}

void ReportRecorder::Passed(DateTime last_run, DateTime now) {
  world_.log.WriteLogMessage("Last run date was " + last_run.ToDisplayText());
  cfg_.LastRunDate(now);
}

void ReportRecorder::FolderScanned(const std::string& folder, bool logged) {
  if (logged) {
    scanning_.assign("Scanning Folder: ");
    AppendEscapedControlBytes(scanning_, folder);
    world_.log.WriteLogMessage(scanning_);
  }
  ++world_.folders_scanned;
  if (control_ != nullptr) ++control_->folders_scanned;
}

bool ReportRecorder::HoldFolderLine(const std::string& folder) {
  if (!world_.log.LoggingOn() || !world_.log.Hold()) return false;
  scanning_.assign("Scanning Folder: ");
  AppendEscapedControlBytes(scanning_, folder);
  world_.log.WriteLogMessage(scanning_);
  return true;
}

void ReportRecorder::WriteHeldLines(const std::function<void(std::exception_ptr)>& outcome) {
  world_.log.WriteHeld(outcome);
}

void ReportRecorder::Warning(const std::string& text, bool logged) {
  world_.warnings.RecordWarning(text);
  if (logged) world_.log.WriteLogMessage(text);
}

void ReportRecorder::FileMoved(const RemovedFilePtr& record) {
  world_.removals.RecordFileMoved(record);
}

void ReportRecorder::Purged(const journal::PurgeItem& item) {
  world_.removals.RecordPurged(item.path, item.size);
  world_.log.WriteLogMessage("Purged: " + EscapeControlBytes(item.path));
}

void ReportRecorder::PurgeEnded(const journal::PurgeResult& result) {
  cfg_.LastPurge({result.items, result.bytes, result.errors});
}

void ReportRecorder::Stopped(RunEnd why, const std::string& text) {
  if (why != RunEnd::kStoppedByUser) {  // a limit or a signal warns
    Warning(text, true);
    return;
  }
  world_.removals.RecordMessage(text);
  world_.log.WriteLogMessage(text);
}

void ReportRecorder::Summary(const std::vector<std::string>& lines) {
  for (const auto& line : lines) world_.log.WriteLogMessage(line, true);
}

}  // namespace kestrel
