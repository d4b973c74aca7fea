#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/error.h"
#include "platform/error_reporter.h"
#include "platform/print_device.h"
#include "reports/report.h"

// The test doubles of the outside services, for the engine tests, the window tests and the
// crash harness alike.
namespace kestrel::test {

inline DateTime At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  return *DateTime::FromCivil(y, mo, d, h, mi, s);
}

// A clock that stands still until a test moves it.
class FakeClock : public Clock {
 public:
  explicit FakeClock(DateTime now) : now_(now) {}
  DateTime Now() const override { return now_; }
  // Returns at once, the time moved on by whole seconds; on_sleep is called after.
  void Sleep(int milliseconds) const override {
    now_ = now_.AddSeconds((milliseconds + 999) / 1000);
    ++sleeps;
    if (on_sleep) on_sleep();
  }
  void Advance(std::int64_t seconds) { now_ = now_.AddSeconds(seconds); }

  mutable int sleeps = 0;
  std::function<void()> on_sleep;

 private:
  mutable DateTime now_;
};

struct Report {
  std::int32_t number, context;
  std::string description, location, log_name, app_name;
};

class RecordingReporter : public ErrorReporter {
 public:
  std::int32_t ReportError(std::int32_t number, const std::string& description,
                           const std::string& location, std::int32_t context,
                           const std::string& log_name, const std::string& app_name) override {
    reports.push_back({number, context, description, location, log_name, app_name});
    return 0;
  }
  std::vector<std::string> Locations() const {
    std::vector<std::string> out;
    for (const Report& r : reports) out.push_back(r.location);
    return out;
  }
  std::vector<Report> reports;
};

class MemoryTextBox final : public TextBox {
 public:
  std::string Text() const override { return text; }
  void SetText(const std::string& t) override { text = t; }
  std::string text;
};

// What a fake printer did, one entry per call: "font NAME SIZE", "x TWIPS", "line TEXT", "end".
using PrintLog = std::vector<std::string>;

// Every character (code point) is 100 twips wide. Can fail on a chosen PrintLine or at the end.
class FakePrintDevice final : public PrintDevice {
 public:
  explicit FakePrintDevice(PrintLog& log) : log_(log) {}
  float printable_width = 11000.0f;
  int fail_on_line = 0;  // 1-based; 0 never
  bool fail_on_end = false;

  void SetFont(const std::string& name, double points) override {
    log_.push_back("font " + name + " " + std::to_string(static_cast<int>(points)));
  }
  int PageWidth() const override { return 12000; }
  float PrintableWidth() const override { return printable_width; }
  float TextWidth(const std::string& text) const override {
    return 100.0f * static_cast<float>(std::count_if(text.begin(), text.end(),
                                                     [](char c) { return (c & 0xC0) != 0x80; }));
  }
  void SetCurrentX(float twips) override { log_.push_back("x " + std::to_string(twips)); }
  void PrintLine(const std::string& text) override {
    if (++lines_ == fail_on_line) throw KsError(kAppError, "paper jam", "FakePrintDevice");
    log_.push_back("line " + text);
  }
  void EndDoc() override {
    log_.push_back("end");
    if (fail_on_end) throw KsError(kAppError, "offline", "FakePrintDevice");
  }

 private:
  PrintLog& log_;
  int lines_ = 0;
};

// Only the printed lines of a log, in order.
inline std::vector<std::string> PrintedLines(const PrintLog& log) {
  std::vector<std::string> lines;
  for (const std::string& entry : log)
    if (entry.starts_with("line ")) lines.push_back(entry.substr(5));
  return lines;
}

// Answers every dialog from what the test set, and records what was asked. A question with
// no answer queued is one the test did not expect: it counts in unanswered and gets Cancel.
class ScriptedDialogs : public Dialogs {
  using Text = const std::string&;

 public:
  MsgResult MessageBox(Text text, MsgButtons buttons, MsgIcon icon, Text caption) override {
    if (real) return real->MessageBox(text, buttons, icon, caption);
    shown.push_back(text);
    threads.push_back(std::this_thread::get_id());
    if (buttons == MsgButtons::Ok) return MsgResult::Ok;
    if (answers.empty()) return ++unanswered, MsgResult::Cancel;
    const MsgResult answer = answers.front();
    answers.pop_front();
    return answer;
  }
  std::optional<std::string> OpenFileName(Text, Text, Text start) override {
    starts.push_back(start);
    return open_name;
  }
  std::optional<std::string> SaveFileName(Text, Text, Text start) override {
    starts.push_back(start);
    ++save_asks;
    return save_name;
  }
  std::string BrowseForFolder(Text start) override {
    starts.push_back(start);
    return picked;
  }
  // A device from make_device, or a cancelled dialog when it is empty.
  std::unique_ptr<PrintDevice> ShowPrintDialog() override {
    ++print_dialogs_shown;
    return make_device ? make_device() : nullptr;
  }

  std::deque<MsgResult> answers;
  std::optional<std::string> open_name, save_name;
  std::string picked;
  Dialogs* real = nullptr;  // shows the boxes instead, for a test of the box itself
  std::function<std::unique_ptr<PrintDevice>()> make_device;
  std::vector<std::string> shown, starts;
  std::vector<std::thread::id> threads;
  int save_asks = 0, unanswered = 0, print_dialogs_shown = 0;
};

}  // namespace kestrel::test
