#pragma once

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/error.h"
#include "platform/error_reporter.h"
#include "platform/print_device.h"
#include "reports/report.h"

namespace kestrel::test {

struct FixedClock final : Clock {
  explicit FixedClock(DateTime when) : now(when) {}
  DateTime Now() const override { return now; }
  DateTime now;
};

class SilentReporter final : public ErrorReporter {
 public:
  std::int32_t ReportError(std::int32_t, const std::string&, const std::string&, std::int32_t,
                           const std::string&, const std::string&) override {
    return 0;
  }
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

// Answers the print dialog with a device from make_device, or cancels when it is empty.
class FakeDialogs final : public Dialogs {
 public:
  std::function<std::unique_ptr<PrintDevice>()> make_device;
  int print_dialogs_shown = 0;

  MsgResult MessageBox(const std::string&, MsgButtons, MsgIcon, const std::string&) override {
    ++message_boxes_shown;
    return MsgResult::Ok;
  }
  std::optional<std::string> OpenFileName(const std::string&, const std::string&,
                                          const std::string&) override {
    return std::nullopt;
  }
  std::optional<std::string> SaveFileName(const std::string&, const std::string&,
                                          const std::string&) override {
    return std::nullopt;
  }
  std::string BrowseForFolder() override { return ""; }
  std::unique_ptr<PrintDevice> ShowPrintDialog() override {
    ++print_dialogs_shown;
    return make_device ? make_device() : nullptr;
  }
  int message_boxes_shown = 0;
};

// Only the printed lines of a log, in order.
inline std::vector<std::string> PrintedLines(const PrintLog& log) {
  std::vector<std::string> lines;
  for (const std::string& entry : log) {
    if (entry.rfind("line ", 0) == 0) lines.push_back(entry.substr(5));
  }
  return lines;
}

}  // namespace kestrel::test
