#include "config/kestrel_cfg.h"

#include <cstdlib>

#include "app/functions.h"
#include "app/user_defaults.h"

namespace kestrel {

std::string DefaultQuarantineFolder() {
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr ? home : "") + "/ksquarantine";
}

KestrelCfg::KestrelCfg(Functions& fn)
    : fn_(fn),
      include_folders_(std::make_shared<FolderList>()),
      exclude_folders_(std::make_shared<FolderList>()) {
  user_name_ = GetUserName(fn_.Outside().reporter);
  company_ = GetCompanyName(fn_.Outside().reporter);
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
