#pragma once

#include <deque>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/dialogs.h"
#include "reports/print_device.h"

namespace kestrel {

// Answers every dialog from queues the test fills, and records what was shown.
class ScriptedDialogs final : public Dialogs {
 public:
  struct Shown {
    std::string text;
    MsgButtons buttons;
    MsgIcon icon;
    std::string caption;
    std::thread::id thread;
  };
  struct FileAsk {
    std::string filter;
    std::string default_ext;
  };

  MsgResult MessageBox(const std::string& text, MsgButtons buttons, MsgIcon icon,
                       const std::string& caption) override {
    shown.push_back({text, buttons, icon, caption, std::this_thread::get_id()});
    if (buttons == MsgButtons::Ok) return MsgResult::Ok;
    if (answers.empty()) {
      ++unanswered;
      return MsgResult::Cancel;
    }
    const MsgResult answer = answers.front();
    answers.pop_front();
    return answer;
  }
  std::optional<std::string> OpenFileName(const std::string& filter, const std::string& ext,
                                          const std::string&) override {
    open_asks.push_back({filter, ext});
    return Next(open_names);
  }
  std::optional<std::string> SaveFileName(const std::string& filter, const std::string& ext,
                                          const std::string&) override {
    save_asks.push_back({filter, ext});
    return Next(save_names);
  }
  std::string BrowseForFolder() override {
    ++browse_calls;
    return Next(folders).value_or("");
  }
  std::unique_ptr<PrintDevice> ShowPrintDialog() override { return nullptr; }

  std::deque<MsgResult> answers;
  std::deque<std::optional<std::string>> open_names;
  std::deque<std::optional<std::string>> save_names;
  std::deque<std::optional<std::string>> folders;

  std::vector<Shown> shown;
  std::vector<FileAsk> open_asks;
  std::vector<FileAsk> save_asks;
  int browse_calls = 0;
  // Questions asked with no answer queued: each is one the test did not expect.
  int unanswered = 0;

 private:
  static std::optional<std::string> Next(std::deque<std::optional<std::string>>& queue) {
    if (queue.empty()) return std::nullopt;
    auto next = queue.front();
    queue.pop_front();
    return next;
  }
};

}  // namespace kestrel
