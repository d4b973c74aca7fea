#include "cleanup/discovery.h"

#include <climits>
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
        walk_(WalkThreads(), WalkRules{mask, [this](const std::string& path) {
                                         return exclude_.Empty() ||
                                                !exclude_.Names(FolderKey(path));
                                       }}) {
    if (display_all_) return;
    for (const auto& entry : cfg.IncludeFolders()) {
      include_keys_.insert(FolderKey(entry.FolderName()));
    }
  }

  // Scans an include entry and, where asked, all below it. A folder is opened only once it is
  // known not to be excluded; a failure cuts short that folder's subtree only. Below a scanned
  // root no folder on the way was excluded, and so no flagged entry lies above: only an entry
  // naming a subfolder itself can exclude it.
  void VisitRoot(const std::string& path, bool include_subs, std::vector<std::string>& out) {
    if (Stopped()) return;
    try {
      const std::string key = FolderKey(path);
      if (exclude_.Excludes(key)) return;
      const Folder root = Folder::OpenRoot(sys_, path);
      if (root.Valid() && destinations_ != nullptr &&
          destinations_->HoldsOrContains(path, root.Device(), root.Inode()))
        return;
      recorder_.FolderScanned(path, display_all_ || include_keys_.count(key) != 0);
      if (!root.Valid()) return;
      std::vector<std::string> matches, subfolders;
      root.List(mask_, matches, subfolders);
      Found(path, matches, root.Device(), root.Inode(), out);
      if (!include_subs || subfolders.empty()) return;
      std::unordered_set<ino_t> skipped;
      if (destinations_ != nullptr) skipped = destinations_->InodesOn(root.Device());
      cut_ = INT_MAX;
      walk_.Walk(
          root, path, std::move(subfolders), std::move(skipped),
          [&](Listing& sub) { return Visit(sub, out); }, [this] { return Stopped(); });
      Settle(out);
    } catch (...) {
      const std::exception_ptr error = std::current_exception();
      Settle(out);
      Report(error);
    }
  }

  bool Stopped() const { return recorder_.StopRequested(); }

 private:
  // A listed folder whose effects wait for its log line, held with the lines of the folders
  // after it; its line, when it has one, is out before it counts or gives its candidates.
  struct Held {
    Listing listing;
    bool logged;    // its line is due
    bool has_line;  // and waits in the log
  };

  // Takes a folder the walk hands over; false leaves out its subtree. Its line waits with those
  // of the folders after it until the walk goes below one of them, so that a run of sibling
  // folders costs one write, and a folder whose line fails still loses its subtree.
  bool Visit(Listing& sub, std::vector<std::string>& out) {
    if (!held_.empty() &&
        (sub.depth > held_.back().listing.depth || sub.error || held_.size() >= kHeldMost))
      Settle(out);
    if (sub.depth > cut_) return false;
    cut_ = INT_MAX;
    try {
      if (sub.error) std::rethrow_exception(sub.error);
      const bool logged = display_all_ || include_keys_.count(FolderKey(sub.path)) != 0;
      const bool has_line = logged && recorder_.HoldFolderLine(sub.path);
      if (has_line || !held_.empty()) {
        held_.push_back({std::move(sub), logged, has_line});
        return true;
      }
      recorder_.FolderScanned(sub.path, logged);
      if (sub.opened) Found(sub.path, sub.matches, sub.dev, sub.ino, out);
      return true;
    } catch (...) {
      const std::exception_ptr error = std::current_exception();
      Settle(out);
      Report(error);
      return false;
    }
  }

  // Writes the held lines and takes each held folder in turn, as if each had been taken alone.
  // Only the last can have a subtree still to come: a folder whose line fails is cut there.
  void Settle(std::vector<std::string>& out) {
    if (held_.empty()) return;
    size_t next = 0;
    bool last_failed = false;
    recorder_.WriteHeldLines([&](const std::exception_ptr& failed) {
      while (next < held_.size() && !held_[next].has_line) Take(held_[next++], out);
      if (next == held_.size()) {  // a line the walk did not hold
        if (failed != nullptr) Report(failed);
        return;
      }
      Held& held = held_[next++];
      if (failed == nullptr) {
        Take(held, out);
        return;
      }
      Report(failed);
      last_failed = next == held_.size();
    });
    while (next < held_.size()) Take(held_[next++], out);
    if (last_failed) cut_ = held_.back().listing.depth;
    held_.clear();
  }

  void Take(const Held& held, std::vector<std::string>& out) {
    const Listing& listing = held.listing;
    try {
      recorder_.FolderScanned(listing.path, held.logged && !held.has_line);
      if (listing.opened) Found(listing.path, listing.matches, listing.dev, listing.ino, out);
    } catch (...) {
      Report(std::current_exception());
    }
  }

  // Takes a listed folder's candidates.
  void Found(const std::string& path, const std::vector<std::string>& matches, dev_t dev, ino_t ino,
             std::vector<std::string>& out) {
    for (const auto& match : matches) out.push_back(JoinPath(path, match));
    if (scanned_ != nullptr && !matches.empty())
      scanned_->Remember(std::string(WithoutTrailingSlash(path)), dev, ino);
  }
  void Report(const std::exception_ptr& error) {
    ReportHandled(reporter_, "Functions.GetTargetFiles", error);
  }

  ErrorReporter& reporter_;
  RunRecorder& recorder_;
  Sys& sys_;
  ExcludeIndex exclude_;
  const std::string& mask_;
  ScannedFolders* scanned_;
  DestinationFolders* destinations_;
  bool display_all_;
  std::unordered_set<std::string> include_keys_;
  // At most this many folders wait for their lines: a folder of many leaf folders would keep
  // them all, and the progress count would lag behind.
  static constexpr size_t kHeldMost = 256;
  std::vector<Held> held_;
  int cut_ = INT_MAX;  // folders deeper than this lie below a folder whose line failed
  ListAhead walk_;
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
