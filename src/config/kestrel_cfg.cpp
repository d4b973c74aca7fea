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
