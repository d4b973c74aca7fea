#pragma once

#include <optional>
#include <string>

#include "config/kestrel_cfg.h"
#include "fs/folder.h"
#include "fs/move_ops.h"
#include "fs/win32_wrapper.h"
#include "journal/move_journal.h"

namespace kestrel {

struct KestrelCfg::RunState {
  ScannedFolders scanned;
  MoveCache moves;
  std::string judged_path;
  Win32Wrapper::FileInfo judged_info;
  std::string quarantine_path;
  std::optional<dev_t> quarantine_dev;
  std::unique_ptr<MoveJournal> journal;
};

}  // namespace kestrel
