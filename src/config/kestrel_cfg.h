#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "config/folder2clean.h"
#include "config/removed_file.h"
#include "platform/date_time.h"

namespace kestrel {

struct Outside;

using FolderList = std::vector<Folder2Clean>;

// What the last run's purge of the quarantine did.
struct PurgeCounts {
  std::int64_t items = 0, bytes = 0, errors = 0;
};
using FolderListPtr = std::shared_ptr<FolderList>;

// One clean-up configuration: its settings, folder lists, last run and file.
class KestrelCfg {
 public:
  // The defaults of a new configuration; user and company from the environment.
  explicit KestrelCfg(Outside& outside);
  ~KestrelCfg();
  // A copy with folder lists of its own, so that edits to either never reach the other.
  KestrelCfg(const KestrelCfg& other);
  KestrelCfg& operator=(const KestrelCfg&) = delete;

  // Returns true iff every setting, the folder lists and the file name are the same.
  bool SameSettings(const KestrelCfg& other) const;
  // Takes the last run date and the records of a run of a copy, which wrote RunDate itself.
  void AdoptRun(const KestrelCfg& run);

  // Fills the object from Filename. Reports a failure under "KestrelCfg.Load" and returns;
  // returns true iff the whole file was read. A file that is not a Kestrel configuration (none
  // of its sections, or a NUL byte) is refused and then counts as unread.
  bool Load();
  // Writes the object to Filename. Reports a failure under "KestrelCfg.Save" and returns;
  // returns true iff every key was written.
  bool Save();

  bool IsDirty() const { return is_dirty_; }
  void IsDirty(bool dirty) { is_dirty_ = dirty; }
  // The records of the last run, in the order of the attempts; the list itself, not a copy.
  std::vector<RemovedFilePtr>& RemovedFiles() { return removed_files_; }
  const PurgeCounts& LastPurge() const { return last_purge_; }
  void LastPurge(PurgeCounts counts) { last_purge_ = counts; }
  DateTime LastRunDate() const { return last_run_date_; }
  // Stores the date and writes "RunDate" to Filename at once when there is one.
  // Throws KsError when the file cannot be written or could not be read.
  void LastRunDate(DateTime date);

  const std::string& Filename() const { return filename_; }
  // A new name is trusted again: the user chose it.
  void Filename(std::string v) {
    filename_ = std::move(v);
    file_unreadable_ = false;
  }
  // Returns true iff the last Load could not read Filename or found it without an Include
  // section (missing is not unreadable); Save
  // and the RunDate write then refuse to replace it until a Load reads it or the name changes.
  bool FileUnreadable() const { return file_unreadable_; }
  const std::string& UserName() const { return user_name_; }
  void UserName(std::string v) { user_name_ = std::move(v); }
  const std::string& Company() const { return company_; }
  void Company(std::string v) { company_ = std::move(v); }
  const std::string& PrefixToken() const { return prefix_token_; }
  void PrefixToken(std::string v) { prefix_token_ = std::move(v); }
  const std::string& QuarantineFolder() const { return quarantine_folder_; }
  // Stored without the blanks around it; blanks only mean the Trash.
  void QuarantineFolder(const std::string& v);
  std::int32_t MaxMBPerRun() const { return max_mb_per_run_; }
  void MaxMBPerRun(std::int32_t v) { max_mb_per_run_ = v; }
  std::int32_t MaxErrorsPerRun() const { return max_errors_per_run_; }
  void MaxErrorsPerRun(std::int32_t v) { max_errors_per_run_ = v; }
  std::int32_t MaxKBLogFile() const { return max_kb_log_file_; }
  void MaxKBLogFile(std::int32_t v) { max_kb_log_file_ = v; }
  bool DisplayAllMessages() const { return display_all_messages_; }
  void DisplayAllMessages(bool v) { display_all_messages_ = v; }
  // Quarantined items older than this many days are purged; 0 or less: never.
  std::int32_t PurgeAfterDays() const { return purge_after_days_; }
  void PurgeAfterDays(std::int32_t v) { purge_after_days_ = v; }

  // The lists themselves: changes through them change the configuration at once.
  FolderList& IncludeFolders() { return *include_folders_; }
  const FolderList& IncludeFolders() const { return *include_folders_; }
  void IncludeFolders(FolderListPtr list) { include_folders_ = std::move(list); }
  FolderList& ExcludeFolders() { return *exclude_folders_; }
  const FolderList& ExcludeFolders() const { return *exclude_folders_; }
  void ExcludeFolders(FolderListPtr list) { exclude_folders_ = std::move(list); }

 private:
  void RefuseUnreadFile(const char* source) const;

  Outside& outside_;
  DateTime last_run_date_;
  std::string filename_;
  std::string user_name_;
  std::string company_;
  std::string prefix_token_;
  std::string quarantine_folder_;
  std::int32_t max_mb_per_run_ = 50;
  std::int32_t max_errors_per_run_ = 10;
  std::int32_t max_kb_log_file_ = 512;
  bool display_all_messages_ = true;
  std::int32_t purge_after_days_ = 0;
  FolderListPtr include_folders_;
  FolderListPtr exclude_folders_;
  std::vector<RemovedFilePtr> removed_files_;
  PurgeCounts last_purge_;
  bool is_dirty_ = false;
  bool file_unreadable_ = false;
};

// The default quarantine folder: "ksquarantine" at the top of the user's home.
std::string DefaultQuarantineFolder();

}  // namespace kestrel
