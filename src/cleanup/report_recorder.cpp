#include "cleanup/report_recorder.h"

#include "app/functions.h"
#include "config/kestrel_cfg.h"
#include "logging/log_file.h"
#include "platform/escape_text.h"
#include "reports/run_records.h"

namespace kestrel {

void ReportRecorder::Started() {
  fn_.RunLog->Initialize();
}

void ReportRecorder::Refused(const std::string& text) {
  fn_.FileRemovalRpt->RecordMessage(text);
  fn_.WarningRpt->RecordWarning(text);
  fn_.RunLog->WriteLogMessage(text);
}

void ReportRecorder::Passed(DateTime last_run, DateTime now) {
  fn_.RunLog->WriteLogMessage("Last run date was " + last_run.ToDisplayText());
  cfg_.LastRunDate(now);
}

void ReportRecorder::FolderScanned(const std::string& folder, bool logged) {
  if (logged) fn_.RunLog->WriteLogMessage("Scanning Folder: " + EscapeControlBytes(folder));
  ++fn_.FoldersScanned;
  if (control_ != nullptr) ++control_->folders_scanned;
}

void ReportRecorder::Warning(const std::string& text, bool logged) {
  fn_.WarningRpt->RecordWarning(text);
  if (logged) fn_.RunLog->WriteLogMessage(text);
}

void ReportRecorder::FileMoved(const RemovedFilePtr& record) {
  fn_.FileRemovalRpt->RecordFileMoved(record);
}

void ReportRecorder::Stopped(RunEnd why, const std::string& text) {
  if (why != RunEnd::kStoppedByUser) {  // a limit or a signal warns
    Warning(text, true);
    return;
  }
  fn_.FileRemovalRpt->RecordMessage(text);
  fn_.RunLog->WriteLogMessage(text);
}

void ReportRecorder::Summary(const std::vector<std::string>& lines) {
  for (const auto& line : lines) fn_.RunLog->WriteLogMessage(line, true);
}

}  // namespace kestrel
