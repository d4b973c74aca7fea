#pragma once

#include <optional>
#include <string>

#include "config/kestrel_cfg.h"
#include "fs/folder.h"
#include "fs/move_ops.h"

namespace kestrel {

struct KestrelCfg::RunState {
  ScannedFolders scanned;
  MoveCache moves;
  std::string quarantine_path;
  std::optional<dev_t> quarantine_dev;
};

}  // namespace kestrel
