#include "preview/preview.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <exception>
#include <functional>
#include <string_view>
#include <unordered_set>

#include "cleanup/clean_up_run.h"
#include "cleanup/path_text.h"
#include "cleanup/run_control.h"
#include "config/kestrel_cfg.h"
#include "fs/win32_wrapper.h"
#include "platform/error.h"

namespace kestrel {
namespace {

// Collects what the run would record; writes nothing.
class PreviewRecorder : public RunRecorder {
 public:
  PreviewRecorder(const KestrelCfg& cfg, PreviewResult& result, const RunControl* control,
                  const Win32Wrapper::FileInfo& last_moved)
      : cfg_(cfg), result_(result), control_(control), last_moved_(last_moved) {}

  void Started() override {}
  void Refused(const std::string& text) override { Add(PreviewItem::Kind::kRefused, text); }
  void Passed(DateTime, DateTime) override {}
  void FolderScanned(const std::string&, bool) override { ++result_.folders; }
  void Warning(const std::string& text, bool) override { Add(PreviewItem::Kind::kWarning, text); }
  void FileMoved(const RemovedFilePtr& record) override {
    PreviewItem item;
    item.path = record->OriginalFilename();
    item.size = record->FileSize();
    item.removal_date = ReadRemovalDate(item.path, cfg_.PrefixToken()).value_or(DateTime());
    item.destination = cfg_.QuarantineFolder();
    item.dev = last_moved_.dev;
    item.ino = last_moved_.ino;
    result_.items.push_back(std::move(item));
    ++result_.files;
    result_.bytes += record->FileSize();
  }
  void Purged(const journal::PurgeItem& purged) override {
    PreviewItem item;
    item.kind = PreviewItem::Kind::kPurge;
    item.path = purged.path;
    item.size = purged.size;
    item.removal_date = purged.since;
    item.dev = purged.dev;
    item.ino = purged.ino;
    result_.items.push_back(std::move(item));
    ++result_.purge;
    result_.purge_bytes += purged.size;
  }
  void Stopped(RunEnd, const std::string& text) override { Add(PreviewItem::Kind::kStop, text); }
  void Summary(const std::vector<std::string>&) override {}
  bool StopRequested() const override { return control_ != nullptr && control_->StopRequested(); }

  void Add(PreviewItem::Kind kind, const std::string& text) {
    PreviewItem item;
    item.kind = kind;
    item.text = text;
    result_.items.push_back(std::move(item));
  }

 private:
  const KestrelCfg& cfg_;
  PreviewResult& result_;
  const RunControl* control_;
  const Win32Wrapper::FileInfo& last_moved_;
};

// Moves nothing: what it would move reads as gone from then on, and the room a copy to
// another file system would take as taken.
class PreviewMover : public Mover {
 public:
  explicit PreviewMover(Sys& sys) : fs_(sys) {}

  void CreateFolder(const std::string& folder) override {
    // The run creates only the last level; without its parent that fails.
    const std::string_view path = WithoutTrailingSlash(folder);
    const size_t slash = path.find_last_of('/');
    const std::string parent =
        slash == std::string::npos ? "." : std::string(path.substr(0, slash == 0 ? 1 : slash));
    if (!fs_.FolderExists(parent)) {
      throw SystemError(ENOENT, "mkdir", folder, "Win32Wrapper.CreateFolder");
    }
    parent_of_quarantine_ = parent;
  }
  void Starting(const std::vector<std::string>& includes, DateTime) override {
    // A path comes twice only from include folders one inside the other: sorted with a "/"
    // after each, such a folder comes right before one inside it.
    std::vector<std::string> roots;
    roots.reserve(includes.size());
    for (const std::string& include : includes) roots.emplace_back(WithoutTrailingSlash(include));
    for (std::string& root : roots) {
      if (root.empty() || root.back() != '/') root += '/';
    }
    std::sort(roots.begin(), roots.end());
    for (size_t i = 1; i < roots.size(); ++i) twice_ = twice_ || roots[i].starts_with(roots[i - 1]);
  }
  bool Move(const MoveRequest& request) override {
    // Only what is not a plain file can have paths below it that went with it.
    const bool holder = !S_ISREG(request.info.mode);
    if (holder || twice_) taken_.insert(std::string(WithoutTrailingSlash(request.path)));
    holder_taken_ = holder_taken_ || holder;
    last_moved_ = request.info;
    if (request.copies) used_ += static_cast<std::uint64_t>(request.info.size);
    return true;
  }
  std::uint64_t AvailableSpace(const std::string& folder) override {
    if (!available_) {
      available_ =
          fs_.GetAvailableSpace(parent_of_quarantine_.empty() ? folder : parent_of_quarantine_);
    }
    return *available_ > used_ ? *available_ - used_ : 0;
  }
  journal::PurgeResult Purge(const journal::PurgeSetup& setup, const journal::PurgeEvents& events,
                             const std::function<bool(const journal::PurgeItem&)>&) override {
    journal::PurgeSetup dry = setup;
    dry.dry_run = true;
    return journal::RunPurge(dry, events);
  }
  // What the last Move was told of the file; the run records that move next.
  const Win32Wrapper::FileInfo& LastMoved() const { return last_moved_; }
  bool MovedAway(const std::string& path) const override {
    if (taken_.empty()) return false;
    std::string_view rest = WithoutTrailingSlash(path);
    for (;;) {
      if (taken_.find(rest) != taken_.end()) return true;
      if (!holder_taken_) return false;
      const size_t slash = rest.find_last_of('/');
      if (slash == std::string_view::npos || slash == 0) return false;
      rest = rest.substr(0, slash);
    }
  }

 private:
  Win32Wrapper fs_;
  // Looked up by views of the paths asked about, not copies.
  struct ViewHash {
    using is_transparent = void;
    size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
  };
  std::unordered_set<std::string, ViewHash, std::equal_to<>> taken_;
  bool holder_taken_ = false;
  bool twice_ = false;  // a path may be a candidate twice
  std::optional<std::uint64_t> available_;
  std::uint64_t used_ = 0;
  std::string parent_of_quarantine_;
  Win32Wrapper::FileInfo last_moved_;
};

}  // namespace

PreviewResult Preview(const RunWorld& world, const KestrelCfg& cfg, const RunControl* control) {
  PreviewResult result;
  result.purging = cfg.PurgeAfterDays() > 0 && !cfg.QuarantineFolder().empty();
  PreviewMover mover(world.outside.sys);
  PreviewRecorder recorder(cfg, result, control, mover.LastMoved());
  std::vector<RemovedFilePtr> records;
  try {
    result.end = CleanUpRun(world, cfg, recorder, mover, records).Run();
  } catch (const KsError& e) {
    result.failed = true;
    recorder.Add(PreviewItem::Kind::kFailed, e.Description());
  } catch (const std::exception& e) {
    result.failed = true;
    recorder.Add(PreviewItem::Kind::kFailed, e.what());
  }
  for (const auto& record : records) result.errors += record->FileMoved() ? 0 : 1;
  return result;
}

std::vector<ListedFile> ListedFiles(const PreviewResult& result) {
  std::vector<ListedFile> files;
  for (const PreviewItem& item : result.items) {
    if (item.kind == PreviewItem::Kind::kMove || item.kind == PreviewItem::Kind::kPurge)
      files.push_back({item.path, item.dev, item.ino, item.kind == PreviewItem::Kind::kPurge});
  }
  return files;
}

const char* EndName(const PreviewResult& result) {
  if (result.failed) return "failed";
  switch (result.end) {
    case RunEnd::kMegabyteLimit:
      return "mb_limit";
    case RunEnd::kErrorLimit:
      return "error_limit";
    case RunEnd::kClockRefused:
      return "clock_refused";
    case RunEnd::kStoppedByUser:
    case RunEnd::kStoppedBySignal:
      return "stopped";
    case RunEnd::kCompleted:
      break;
  }
  return "completed";
}

}  // namespace kestrel
