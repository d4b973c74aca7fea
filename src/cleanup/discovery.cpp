#include "cleanup/discovery.h"

#include <exception>

#include "app/functions.h"
#include "cleanup/path_text.h"
#include "cleanup/report_recorder.h"
#include "fs/folder.h"

namespace kestrel {
namespace {

class Scan {
 public:
  Scan(Functions& fn, const FolderList& exclude, const std::string& mask, ScannedFolders* scanned,
       RunRecorder& recorder)
      : fn_(fn),
        recorder_(recorder),
        sys_(fn.Outside().sys),
        exclude_(exclude),
        mask_(mask),
        scanned_(scanned),
        display_all_(fn.CurrentCfg->DisplayAllMessages()) {}

  // Scans an include entry (parent null) or the subfolder name of parent. The folder is opened
  // only once it is known not to be excluded.
  void Visit(const std::string& path, bool include_subs, const Folder* parent,
             const std::string& name, std::vector<std::string>& out) {
    if (IsExcludedFolder(path, exclude_)) return;
    recorder_.FolderScanned(path, display_all_ || IsIncludeFolder(fn_, path));
    try {
      Folder folder = parent != nullptr ? parent->OpenChild(name) : Folder::OpenRoot(sys_, path);
      if (!folder.Valid()) return;
      matches_.clear();
      subfolders_.clear();
      folder.List(mask_, matches_, subfolders_);
      for (const auto& name : matches_) out.push_back(JoinPath(path, name));
      if (scanned_ != nullptr && !matches_.empty()) {
        scanned_->Remember(std::string(WithoutTrailingSlash(path)), folder.Device(),
                           folder.Inode());
      }
      if (!include_subs) return;
      // The member buffers are reused by the next level, so this level keeps its own names.
      const std::vector<std::string> names = std::move(subfolders_);
      for (const auto& sub : names) Visit(JoinPath(path, sub), true, &folder, sub, out);
    } catch (...) {
      ReportHandled(fn_.Outside().reporter, "Functions.GetTargetFiles", std::current_exception());
    }
  }

 private:
  Functions& fn_;
  RunRecorder& recorder_;
  Sys& sys_;
  const FolderList& exclude_;
  const std::string& mask_;
  ScannedFolders* scanned_;
  bool display_all_;
  std::vector<std::string> matches_;
  std::vector<std::string> subfolders_;
};

}  // namespace

std::vector<std::string> GetTargetFiles(Functions& fn, const FolderList& include_folders,
                                        const FolderList& exclude_folders,
                                        const std::string& file_mask, ScannedFolders* scanned,
                                        RunRecorder* recorder) {
  std::vector<std::string> candidates;
  ReportRecorder program_log(fn, *fn.CurrentCfg);
  Scan scan(fn, exclude_folders, file_mask, scanned, recorder ? *recorder : program_log);
  for (const auto& entry : include_folders) {
    scan.Visit(entry.FolderName(), entry.IncludeSubs(), nullptr, {}, candidates);
  }
  return candidates;
}

std::string BuildFileMask(const Functions& fn) {
  return "*" + fn.CurrentCfg->PrefixToken() +
         "??"
         "-??"
         "-????"
         "*";
}

bool IsExcludedFolder(const std::string& folder, const FolderList& exclude_folders) {
  const std::string_view path = WithoutTrailingSlash(folder);
  for (const auto& entry : exclude_folders) {
    const std::string_view e = WithoutTrailingSlash(entry.FolderName());
    if (e.empty()) continue;
    if (EqualsIgnoreCase(path, e)) return true;
    if (!entry.IncludeSubs() || path.size() <= e.size()) continue;
    // Below the entry: the entry's text, then a separator (the root "/" ends with one).
    const bool below =
        EqualsIgnoreCase(path.substr(0, e.size()), e) && (e.back() == '/' || path[e.size()] == '/');
    if (below) return true;
  }
  return false;
}

bool IsIncludeFolder(const Functions& fn, const std::string& folder) {
  const std::string_view path = WithoutTrailingSlash(folder);
  for (const auto& entry : fn.CurrentCfg->IncludeFolders()) {
    if (EqualsIgnoreCase(path, WithoutTrailingSlash(entry.FolderName()))) return true;
  }
  return false;
}

FolderList MakeFolderList(const std::string& prefix, const std::vector<std::string>& names,
                          bool include_subs) {
  FolderList list;
  list.reserve(names.size());
  for (const auto& name : names) list.emplace_back(prefix + name, include_subs);
  return list;
}

}  // namespace kestrel
