#include "cleanup/discovery.h"

#include <exception>
#include <unordered_set>

#include "cleanup/path_text.h"
#include "cleanup/run_seams.h"
#include "fs/destination_folders.h"
#include "fs/folder.h"
#include "fs/list_ahead.h"
#include "fs/outside.h"
#include "platform/error.h"

namespace kestrel {
namespace {

// The key a folder is compared by: ASCII lower case, no trailing "/".
std::string FolderKey(std::string_view path) {
  std::string key(WithoutTrailingSlash(path));
  for (char& c : key) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return key;
}

// The exclude list as hash sets, so that a scan costs the same however long the list is.
class ExcludeIndex {
 public:
  explicit ExcludeIndex(const FolderList& exclude) {
    for (const auto& entry : exclude) {
      if (entry.FolderName().empty()) continue;
      std::string key = FolderKey(entry.FolderName());
      if (entry.IncludeSubs()) with_subs_.insert(key);
      named_.insert(std::move(key));
    }
  }
  bool Empty() const { return named_.empty(); }
  // Returns true iff an entry names the folder.
  bool Names(const std::string& key) const { return named_.count(key) != 0; }
  // Returns true iff an entry names the folder or an entry with its flag lies above it.
  bool Excludes(const std::string& key) const {
    if (Names(key)) return true;
    if (with_subs_.empty()) return false;
    if (key.size() > 1 && key[0] == '/' && with_subs_.count("/") != 0) return true;
    for (size_t slash = key.find('/', 1); slash != std::string::npos;
         slash = key.find('/', slash + 1)) {
      if (with_subs_.count(key.substr(0, slash)) != 0) return true;
    }
    return false;
  }

 private:
  std::unordered_set<std::string> named_;
  std::unordered_set<std::string> with_subs_;
};

class Scan {
 public:
  Scan(Outside& outside, const KestrelCfg& cfg, const FolderList& exclude, const std::string& mask,
       ScannedFolders* scanned, RunRecorder& recorder, DestinationFolders* destinations)
      : reporter_(outside.reporter),
        recorder_(recorder),
        sys_(outside.sys),
        exclude_(exclude),
        mask_(mask),
        scanned_(scanned),
        destinations_(destinations),
        display_all_(cfg.DisplayAllMessages()),
        ahead_(WalkThreads(), mask) {
    if (display_all_) return;
    for (const auto& entry : cfg.IncludeFolders()) {
      include_keys_.insert(FolderKey(entry.FolderName()));
    }
  }

  // Scans an include entry and, where asked, all below it. A folder is opened only once it is
  // known not to be excluded; a failure cuts short that folder's subtree only.
  void VisitRoot(const std::string& path, bool include_subs, std::vector<std::string>& out) {
    if (Stopped()) return;
    try {
      const std::string key = FolderKey(path);
      if (exclude_.Excludes(key)) return;
      Listing root;
      root.path = path;
      root.folder = Folder::OpenRoot(sys_, path);
      if (root.folder.Valid() && destinations_ != nullptr &&
          destinations_->HoldsOrContains(path, root.folder.Device(), root.folder.Inode()))
        return;
      recorder_.FolderScanned(path, display_all_ || include_keys_.count(key) != 0);
      if (!root.folder.Valid()) return;
      root.folder.List(mask_, root.matches, root.subfolders);
      Found(root, include_subs, out);
    } catch (...) {
      Report();
    }
    while (!ahead_.Empty()) {
      if (Stopped()) return ahead_.Clear();
      Listing sub = ahead_.Take();
      try {
        if (sub.error) std::rethrow_exception(sub.error);
        if (sub.folder.Valid() && destinations_ != nullptr &&
            destinations_->Holds(sub.folder.Device(), sub.folder.Inode()))
          continue;
        recorder_.FolderScanned(sub.path, display_all_ || include_keys_.count(FolderKey(sub.path)));
        if (sub.folder.Valid()) Found(sub, true, out);
      } catch (...) {
        Report();
      }
    }
  }

  bool Stopped() const { return recorder_.StopRequested(); }

 private:
  // Takes a listed folder's candidates and queues its subfolders, unless excluded.
  void Found(Listing& listing, bool include_subs, std::vector<std::string>& out) {
    const std::string& path = listing.path;
    for (const auto& match : listing.matches) out.push_back(JoinPath(path, match));
    if (scanned_ != nullptr && !listing.matches.empty()) {
      scanned_->Remember(std::string(WithoutTrailingSlash(path)), listing.folder.Device(),
                         listing.folder.Inode());
    }
    if (!include_subs) return;
    // Below a scanned root, no folder on the way was excluded, and so no flagged entry lies
    // above: only an entry naming the folder itself can exclude it.
    std::vector<ListAhead::Entry> next;
    for (auto& sub : listing.subfolders) {
      std::string sub_path = JoinPath(path, sub);
      if (exclude_.Empty() || !exclude_.Names(FolderKey(sub_path)))
        next.push_back({std::move(sub_path), std::move(sub)});
    }
    ahead_.Push(std::make_shared<const Folder>(std::move(listing.folder)), std::move(next));
  }
  void Report() { ReportHandled(reporter_, "Functions.GetTargetFiles", std::current_exception()); }

  ErrorReporter& reporter_;
  RunRecorder& recorder_;
  Sys& sys_;
  ExcludeIndex exclude_;
  const std::string& mask_;
  ScannedFolders* scanned_;
  DestinationFolders* destinations_;
  bool display_all_;
  std::unordered_set<std::string> include_keys_;
  ListAhead ahead_;
};

}  // namespace

std::vector<std::string> GetTargetFiles(Outside& outside, const KestrelCfg& cfg,
                                        const FolderList& include_folders,
                                        const FolderList& exclude_folders,
                                        const std::string& file_mask, RunRecorder& recorder,
                                        ScannedFolders* scanned, DestinationFolders* destinations) {
  std::vector<std::string> candidates;
  Scan scan(outside, cfg, exclude_folders, file_mask, scanned, recorder, destinations);
  for (const auto& entry : include_folders) {
    if (scan.Stopped()) break;
    scan.VisitRoot(entry.FolderName(), entry.IncludeSubs(), candidates);
  }
  return candidates;
}

std::string BuildFileMask(const KestrelCfg& cfg) {
  return "*" + cfg.PrefixToken() +
         "??"
         "-??"
         "-????"
         "*";
}

bool IsExcludedFolder(const std::string& folder, const FolderList& exclude_folders) {
  return ExcludeIndex(exclude_folders).Excludes(FolderKey(folder));
}

FolderList MakeFolderList(const std::string& prefix, const std::vector<std::string>& names,
                          bool include_subs) {
  FolderList list;
  list.reserve(names.size());
  for (const auto& name : names) list.emplace_back(prefix + name, include_subs);
  return list;
}

}  // namespace kestrel
