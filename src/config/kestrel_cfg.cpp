#include "config/kestrel_cfg.h"

#include <cstdlib>

#include "fs/outside.h"
#include "platform/user_defaults.h"

namespace kestrel {

std::string DefaultQuarantineFolder() {
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr ? home : "") + "/ksquarantine";
}

KestrelCfg::KestrelCfg(Outside& outside)
    : outside_(outside),
      include_folders_(std::make_shared<FolderList>()),
      exclude_folders_(std::make_shared<FolderList>()) {
  user_name_ = GetUserName(outside_.reporter);
  company_ = GetCompanyName(outside_.reporter);
  prefix_token_ = "del-";
  QuarantineFolder(DefaultQuarantineFolder());
}

KestrelCfg::~KestrelCfg() = default;

KestrelCfg::KestrelCfg(const KestrelCfg& other)
    : outside_(other.outside_),
      last_run_date_(other.last_run_date_),
      filename_(other.filename_),
      user_name_(other.user_name_),
      company_(other.company_),
      prefix_token_(other.prefix_token_),
      quarantine_folder_(other.quarantine_folder_),
      max_mb_per_run_(other.max_mb_per_run_),
      max_errors_per_run_(other.max_errors_per_run_),
      max_kb_log_file_(other.max_kb_log_file_),
      display_all_messages_(other.display_all_messages_),
      include_folders_(std::make_shared<FolderList>(*other.include_folders_)),
      exclude_folders_(std::make_shared<FolderList>(*other.exclude_folders_)),
      removed_files_(other.removed_files_),
      is_dirty_(other.is_dirty_),
      file_unreadable_(other.file_unreadable_) {}

bool KestrelCfg::SameSettings(const KestrelCfg& other) const {
  return filename_ == other.filename_ && user_name_ == other.user_name_ &&
         company_ == other.company_ && prefix_token_ == other.prefix_token_ &&
         quarantine_folder_ == other.quarantine_folder_ &&
         max_mb_per_run_ == other.max_mb_per_run_ &&
         max_errors_per_run_ == other.max_errors_per_run_ &&
         max_kb_log_file_ == other.max_kb_log_file_ &&
         display_all_messages_ == other.display_all_messages_ &&
         *include_folders_ == *other.include_folders_ &&
         *exclude_folders_ == *other.exclude_folders_;
}

void KestrelCfg::AdoptRun(const KestrelCfg& run) {
  last_run_date_ = run.last_run_date_;
  removed_files_ = run.removed_files_;
}

void KestrelCfg::QuarantineFolder(const std::string& v) {
  const auto begin = v.find_first_not_of(" \t");
  if (begin == std::string::npos) {
    quarantine_folder_.clear();
    return;
  }
  const auto end = v.find_last_not_of(" \t");
  quarantine_folder_ = v.substr(begin, end - begin + 1);
}

}  // namespace kestrel
