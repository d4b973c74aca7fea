#pragma once

#include <string>
#include <vector>

#include "config/kestrel_cfg.h"

namespace kestrel {

class DestinationFolders;
struct Outside;
class RunRecorder;
class ScannedFolders;

// The candidates of a run: every entry in the include folders (and their subfolders where
// asked) whose name fits the mask, skipping excluded folders and, when given, the run's
// destinations with all they hold; depth-first, pre-order, each folder's entries in byte order
// of their names. Tells the recorder of every folder scanned, logged when cfg displays all
// messages or the folder is one of cfg's include folders. A failing folder is reported under
// "Functions.GetTargetFiles" and only its subtree is cut short. When scanned is given, the
// folders holding candidates are remembered there.
std::vector<std::string> GetTargetFiles(Outside& outside, const KestrelCfg& cfg,
                                        const FolderList& include_folders,
                                        const FolderList& exclude_folders,
                                        const std::string& file_mask, RunRecorder& recorder,
                                        ScannedFolders* scanned = nullptr,
                                        DestinationFolders* destinations = nullptr);
// "*" + cfg's PrefixToken + "??-??-????*".
std::string BuildFileMask(const KestrelCfg& cfg);
// Returns true iff an entry names the folder (ASCII case and trailing "/" ignored), or an entry
// with its flag set lies above it.
bool IsExcludedFolder(const std::string& folder, const FolderList& exclude_folders);
// One new entry per name: prefix + name, with the flag.
FolderList MakeFolderList(const std::string& prefix, const std::vector<std::string>& names,
                          bool include_subs);

}  // namespace kestrel
