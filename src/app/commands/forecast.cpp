#include "app/commands/forecast.h"

#include <cstdio>
#include <exception>

#include "app/command_line.h"
#include "app/commands/config_operand.h"
#include "app/functions.h"
#include "app/main_routine.h"
#include "config/kestrel_cfg.h"
#include "platform/console_error_reporter.h"
#include "platform/error.h"
#include "platform/escape_text.h"
#include "preview/forecast.h"
#include "reports/json_line.h"

namespace kestrel {
namespace {

std::string Day(DateTime date) {
  return date.ToIsoText().substr(0, 10);
}

class Printer {
 public:
  Printer(bool json, std::vector<std::string>& lines) : json_(json), lines_(lines) {}

  // One group's entries and, after each day, its total. when: "now" for the due-now group.
  void Group(const std::vector<ForecastEntry>& entries, bool now) {
    for (size_t i = 0; i < entries.size(); ++i) {
      const ForecastEntry& e = entries[i];
      Entry(e, now);
      files_ += 1;
      bytes_ += e.size;
      const bool last = i + 1 == entries.size();
      if (last || (!now && entries[i + 1].removal_date != e.removal_date)) {
        Total(now ? "now" : Day(*e.removal_date));
      }
    }
  }
  void Never(const ForecastEntry& e) {
    if (!json_) {
      lines_.push_back("[Never Due] " + std::to_string(e.size) + " " + ReasonText(e.never_due) +
                       ": " + EscapeControlBytes(e.path));
      return;
    }
    JsonLine json;
    json.Text("type", "never_due").Text("path", e.path).Number("size", e.size);
    json.Text("reason", ReasonName(e.never_due));
    if (e.removal_date) json.Text("removal_date", Day(*e.removal_date));
    lines_.push_back(json.Text("stamp", e.stamp.ToIsoText()).Str());
  }

 private:
  void Entry(const ForecastEntry& e, bool now) {
    if (json_) {
      lines_.push_back(JsonLine()
                           .Text("type", now ? "due_now" : "due")
                           .Text("path", e.path)
                           .Number("size", e.size)
                           .Text("removal_date", Day(*e.removal_date))
                           .Bool("read_only", e.read_only)
                           .Str());
    } else {
      const char* tag = now ? "[Due Now" : "[Due";
      lines_.push_back(std::string(tag) + (e.read_only ? ", Read-Only] " : "] ") +
                       std::to_string(e.size) + " " + Day(*e.removal_date) + " " +
                       EscapeControlBytes(e.path));
    }
  }
  void Total(const std::string& when) {
    lines_.push_back(json_ ? JsonLine()
                                 .Text("type", "day_total")
                                 .Text("date", when)
                                 .Number("files", files_)
                                 .Number("bytes", bytes_)
                                 .Str()
                           : "[Total] " + when + " " + std::to_string(files_) + " " +
                                 std::to_string(bytes_));
    files_ = bytes_ = 0;
  }

  bool json_;
  std::vector<std::string>& lines_;
  std::int64_t files_ = 0, bytes_ = 0;
};

std::int64_t Bytes(const std::vector<ForecastEntry>& entries) {
  std::int64_t sum = 0;
  for (const auto& e : entries) sum += e.size;
  return sum;
}

}  // namespace

std::vector<std::string> ForecastLines(const Forecast& forecast, bool json) {
  std::vector<std::string> lines;
  Printer printer(json, lines);
  printer.Group(forecast.due_now, true);
  printer.Group(forecast.due, false);
  for (const ForecastEntry& e : forecast.never_due) printer.Never(e);
  for (const journal::PurgeItem& item : forecast.purge_due) {
    lines.push_back(json ? JsonLine()
                               .Text("type", "purge_due")
                               .Text("path", item.path)
                               .Number("size", item.size)
                               .Text("due_date", Day(item.due))
                               .Str()
                         : "[Purge Due] " + std::to_string(item.size) + " " + Day(item.due) +
                               " " + EscapeControlBytes(item.path));
  }
  const auto now_count = static_cast<std::int64_t>(forecast.due_now.size());
  const auto due_count = static_cast<std::int64_t>(forecast.due.size());
  const auto never_count = static_cast<std::int64_t>(forecast.never_due.size());
  if (json) {
    lines.push_back(JsonLine()
                        .Text("type", "summary")
                        .Number("days", forecast.days)
                        .Number("due_now", now_count)
                        .Number("due_now_bytes", Bytes(forecast.due_now))
                        .Number("due", due_count)
                        .Number("due_bytes", Bytes(forecast.due))
                        .Number("never_due", never_count)
                        .Str());
  } else {
    lines.push_back("Forecast: " + std::to_string(now_count) + " due now (" +
                    std::to_string(Bytes(forecast.due_now)) + " bytes), " +
                    std::to_string(due_count) + " due within " + std::to_string(forecast.days) +
                    " days (" + std::to_string(Bytes(forecast.due)) + " bytes), " +
                    std::to_string(never_count) + " never due");
  }
  return lines;
}

int ForecastCommand(Functions& fn, const LongCommandLine& line) {
  // Errors go to standard error only: a forecast writes no log.
  ConsoleErrorReporter reporter(fn.Outside().clock, "");
  Functions own(Outside{fn.Outside().clock, reporter, fn.Outside().sys, fn.ProgramFolder()});
  const auto days =
      static_cast<int>(WholeNumberOption("forecast", line.Value("forecast"), "days", 0, 36500));
  if (!LoadConfigOperand(own, line)) return kExitBadInput;
  const Forecast forecast = MakeForecast(own.Outside(), *own.CurrentCfg, days);
  for (const std::string& text : ForecastLines(forecast, line.Has("json"))) {
    std::fputs(text.c_str(), stdout);
    std::fputc('\n', stdout);
  }
  std::fflush(stdout);
  return kExitOk;
}

}  // namespace kestrel
