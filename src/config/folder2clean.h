#pragma once

#include <string>

namespace kestrel {

class Win32Wrapper;

// One include or exclude entry. IncludeSubs: scan (include) or skip (exclude) the subfolders too.
class Folder2Clean {
 public:
  Folder2Clean() = default;
  Folder2Clean(std::string name, bool subs) : folder_name_(std::move(name)), include_subs_(subs) {}

  // Returns true iff something (a folder or a file) exists at FolderName.
  bool ChkFolderSpec(Win32Wrapper& fs) const;

  const std::string& FolderName() const { return folder_name_; }
  void FolderName(std::string name) { folder_name_ = std::move(name); }
  bool IncludeSubs() const { return include_subs_; }
  void IncludeSubs(bool subs) { include_subs_ = subs; }

  friend bool operator==(const Folder2Clean&, const Folder2Clean&) = default;

 private:
  std::string folder_name_;
  bool include_subs_ = false;
};

}  // namespace kestrel
