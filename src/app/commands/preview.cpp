#include "app/commands/preview.h"

#include <cstdio>

#include "app/command_line.h"
#include "app/commands/config_operand.h"
#include "app/functions.h"
#include "app/main_routine.h"
#include "config/kestrel_cfg.h"
#include "platform/console_error_reporter.h"
#include "platform/escape_text.h"
#include "preview/preview.h"
#include "reports/json_line.h"

namespace kestrel {
namespace {

const char* Tag(PreviewItem::Kind kind) {
  switch (kind) {
    case PreviewItem::Kind::kMove:
      return "move";
    case PreviewItem::Kind::kWarning:
      return "warning";
    case PreviewItem::Kind::kStop:
      return "stop";
    case PreviewItem::Kind::kRefused:
      return "refused";
    case PreviewItem::Kind::kPurge:
      return "purge";
    case PreviewItem::Kind::kFailed:
      break;
  }
  return "failed";
}

std::string TextLine(const PreviewItem& item) {
  switch (item.kind) {
    case PreviewItem::Kind::kMove:
      return "[Would Move] " + std::to_string(item.size) + " " + EscapeControlBytes(item.path);
    case PreviewItem::Kind::kWarning:
      return "[Warning] " + item.text;
    case PreviewItem::Kind::kStop:
      return "[Stop] " + item.text;
    case PreviewItem::Kind::kRefused:
      return "[Refused] " + item.text;
    case PreviewItem::Kind::kPurge:
      return "[Would Purge] " + std::to_string(item.size) + " " +
             item.removal_date.ToIsoText().substr(0, 10) + " " + EscapeControlBytes(item.path);
    case PreviewItem::Kind::kFailed:
      break;
  }
  return "[Failed] " + item.text;
}

std::string JsonItem(const PreviewItem& item, const PreviewResult& result) {
  JsonLine json;
  json.Text("type", Tag(item.kind));
  if (item.kind == PreviewItem::Kind::kMove) {
    json.Text("path", item.path)
        .Number("size", item.size)
        .Text("removal_date", item.removal_date.ToIsoText().substr(0, 10))
        .Text("destination", item.destination);
  } else if (item.kind == PreviewItem::Kind::kPurge) {
    json.Text("path", item.path)
        .Number("size", item.size)
        .Text("date", item.removal_date.ToIsoText().substr(0, 10));
  } else {
    if (item.kind == PreviewItem::Kind::kStop) json.Text("reason", EndName(result));
    json.Text("text", item.text);
  }
  return json.Str();
}

}  // namespace

std::vector<std::string> PreviewLines(const PreviewResult& result, bool json) {
  std::vector<std::string> lines;
  lines.reserve(result.items.size() + 1);
  for (const PreviewItem& item : result.items) {
    lines.push_back(json ? JsonItem(item, result) : TextLine(item));
  }
  if (json) {
    JsonLine summary;
    summary.Text("type", "summary")
        .Number("files", result.files)
        .Number("bytes", result.bytes)
        .Number("errors", result.errors)
        .Number("folders", result.folders);
    if (result.purging) summary.Number("purge", result.purge).Number("purge_bytes", result.purge_bytes);
    lines.push_back(summary.Text("end", EndName(result)).Str());
  } else {
    const std::string purge = result.purging ? ", " + std::to_string(result.purge) +
                                                   " to purge (" +
                                                   std::to_string(result.purge_bytes) + " bytes)"
                                             : "";
    lines.push_back("Preview: " + std::to_string(result.files) + " files, " +
                    std::to_string(result.bytes) + " bytes, " + std::to_string(result.errors) +
                    " errors, end " + EndName(result) + purge + "; nothing was moved");
  }
  return lines;
}

int PreviewCommand(Functions& fn, const LongCommandLine& line) {
  // Errors go to standard error only: a preview writes no log.
  ConsoleErrorReporter reporter(fn.Outside().clock, "");
  Functions own(Outside{fn.Outside().clock, reporter, fn.Outside().sys, fn.ProgramFolder()});
  if (!LoadConfigOperand(own, line)) return kExitBadInput;
  const PreviewResult result = Preview(own.World(), *own.CurrentCfg);
  for (const std::string& text : PreviewLines(result, line.Has("json"))) {
    std::fputs(text.c_str(), stdout);
    std::fputc('\n', stdout);
  }
  std::fflush(stdout);
  return result.failed ? kExitRunFailed : kExitOk;
}

}  // namespace kestrel
