#include "reports/run_records.h"

namespace kestrel {

void FileRemovalReport::RecordFileMoved(const RemovedFilePtr& the_file) {
  FileMoved.Raise(the_file);
  std::lock_guard lock(mutex_);
  entries_.emplace_back(the_file);
}

void FileRemovalReport::RecordMessage(const std::string& message) {
  MessageLogged.Raise(message);
  std::lock_guard lock(mutex_);
  entries_.emplace_back(message);
}

std::vector<FileRemovalReport::Entry> FileRemovalReport::Entries() const {
  std::lock_guard lock(mutex_);
  return entries_;
}

void WarningReport::RecordWarning(const std::string& warning) {
  WarningIssued.Raise(warning);
  std::lock_guard lock(mutex_);
  warnings_.push_back(warning);
}

std::vector<std::string> WarningReport::Warnings() const {
  std::lock_guard lock(mutex_);
  return warnings_;
}

std::string EntryText(const FileRemovalReport::Entry& entry) {
  if (const auto* text = std::get_if<std::string>(&entry)) return *text;
  const auto& file = std::get<RemovedFilePtr>(entry);
  return file ? file->OriginalFilename() : std::string();
}

}  // namespace kestrel
