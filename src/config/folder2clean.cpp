#include "config/folder2clean.h"

#include "fs/win32_wrapper.h"

namespace kestrel {

bool Folder2Clean::ChkFolderSpec(Win32Wrapper& fs) const {
  return !folder_name_.empty() && fs.FileExists(folder_name_);
}

}  // namespace kestrel
