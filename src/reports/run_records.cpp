#include "reports/run_records.h"

#include "platform/escape_text.h"
#include "reports/print_procedure.h"
#include "reports/text_box_writer.h"

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

void FileRemovalReport::RecordPurged(const std::string& path, std::int64_t size) {
  ItemPurged.Raise(path, size);
  std::lock_guard lock(mutex_);
  entries_.emplace_back("Purged: " + EscapeControlBytes(path));
}

std::vector<FileRemovalReport::Entry> FileRemovalReport::Entries() const {
  std::lock_guard lock(mutex_);
  return entries_;
}

void FileRemovalReport::ViewReport(TextBox& disp) {
  TextBoxWriter writer;
  writer.Device(&disp);
  for (const Entry& entry : Entries()) writer.WriteLn(EntryText(entry));
}

void FileRemovalReport::PrintReport(Dialogs& dialogs) {
  PrintThroughDialog(dialogs, clock_, [this](IReportWriter& writer) {
    writer.WriterHeader("File Removal");
    for (const Entry& entry : Entries()) writer.WriteLn(EntryText(entry));
  });
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

std::string WarningReport::Description() const {
  return "This report shows warnings about:\n"
         "    - Deletion dates that are before the file creation date,\n"
         "    - Apparent inconsistencies in the program's run date,\n"
         "    - File system errors for Read Only files, Access Denied, etc.";
}

void WarningReport::ViewReport(TextBox& disp) {
  TextBoxWriter writer;
  writer.Device(&disp);
  for (const std::string& warning : Warnings()) writer.WriteLn(warning);
}

void WarningReport::PrintReport(Dialogs& dialogs) {
  PrintThroughDialog(dialogs, clock_, [this](IReportWriter& writer) {
    writer.WriterHeader("Warnings");
    for (const std::string& warning : Warnings()) writer.WriteLn(warning);
  });
}

std::string EntryText(const FileRemovalReport::Entry& entry) {
  if (const auto* text = std::get_if<std::string>(&entry)) return *text;
  const auto& file = std::get<RemovedFilePtr>(entry);
  return file ? EscapeControlBytes(file->OriginalFilename()) : std::string();
}

}  // namespace kestrel
