#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <variant>
#include <vector>

#include "config/removed_file.h"
#include "fs/warning_sink.h"
#include "platform/clock.h"
#include "reports/report.h"

namespace kestrel {

// Listeners of one notification; each is called synchronously, in subscription order, on the
// thread that records.
template <typename... Args>
class Notifier {
 public:
  using Handler = std::function<void(Args...)>;
  // Returns the id that Unsubscribe takes.
  int Subscribe(Handler handler) {
    std::lock_guard lock(mutex_);
    handlers_.emplace(next_id_, std::move(handler));
    return next_id_++;
  }
  void Unsubscribe(int id) {
    std::lock_guard lock(mutex_);
    handlers_.erase(id);
  }
  void Raise(Args... args) {
    std::vector<Handler> copy;
    {
      std::lock_guard lock(mutex_);
      for (auto& [id, h] : handlers_) copy.push_back(h);
    }
    for (auto& h : copy) h(args...);
  }

 private:
  std::mutex mutex_;
  std::map<int, Handler> handlers_;
  int next_id_ = 1;
};

// Every file moved and every message issued by the runs since start-up. Never cleared.
// As a report: one line per entry in recording order, a moved file as its path before the move.
class FileRemovalReport : public IReport {
 public:
  explicit FileRemovalReport(const Clock& clock) : clock_(clock) {}
  using Entry = std::variant<std::string, RemovedFilePtr>;

  // Notifies FileMoved, then appends the record itself (shared, not copied).
  void RecordFileMoved(const RemovedFilePtr& the_file);
  // Notifies MessageLogged, then appends the text.
  void RecordMessage(const std::string& message);
  // Notifies ItemPurged, then appends "Purged: " and the path.
  void RecordPurged(const std::string& path, std::int64_t size);
  // The entries in recording order, as they stand now.
  std::vector<Entry> Entries() const;

  void ViewReport(TextBox& disp) override;
  void PrintReport(Dialogs& dialogs) override;
  std::string Name() const override { return "File Removal Report"; }
  std::string Description() const override {
    return "This report shows what files and folders have been removed.";
  }

  Notifier<const RemovedFilePtr&> FileMoved;
  Notifier<const std::string&> MessageLogged;
  Notifier<const std::string&, std::int64_t> ItemPurged;

 private:
  const Clock& clock_;
  mutable std::mutex mutex_;
  std::vector<Entry> entries_;
};

// Every warning raised by the runs since start-up. Never cleared.
// As a report: one line per warning in recording order.
class WarningReport : public IReport, public WarningSink {
 public:
  explicit WarningReport(const Clock& clock) : clock_(clock) {}
  // Notifies WarningIssued, then appends the text.
  void RecordWarning(const std::string& warning) override;
  std::vector<std::string> Warnings() const;

  void ViewReport(TextBox& disp) override;
  void PrintReport(Dialogs& dialogs) override;
  std::string Name() const override { return "Warning Report"; }
  std::string Description() const override;

  Notifier<const std::string&> WarningIssued;

 private:
  const Clock& clock_;
  mutable std::mutex mutex_;
  std::vector<std::string> warnings_;
};

// The text an entry stands for: a message itself, a moved file its path before the move with
// control bytes escaped.
std::string EntryText(const FileRemovalReport::Entry& entry);

}  // namespace kestrel
