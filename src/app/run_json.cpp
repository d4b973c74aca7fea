#include "app/run_json.h"

#include <cstdio>

#include "app/functions.h"
#include "config/kestrel_cfg.h"
#include "reports/json_line.h"
#include "reports/run_records.h"

namespace kestrel {
namespace {

void Print(const std::string& line) {
  std::fputs(line.c_str(), stdout);
  std::fputc('\n', stdout);
}

}  // namespace

void PrintRunJson(Functions& fn) {
  fn.FileRemovalRpt->FileMoved.Subscribe([](const RemovedFilePtr& file) {
    Print(JsonLine()
              .Text("type", "moved")
              .Text("path", file->OriginalFilename())
              .Number("size", file->FileSize())
              .Str());
  });
  fn.FileRemovalRpt->ItemPurged.Subscribe([](const std::string& path, std::int64_t size) {
    Print(JsonLine().Text("type", "purged").Text("path", path).Number("size", size).Str());
  });
  fn.FileRemovalRpt->MessageLogged.Subscribe([](const std::string& message) {
    Print(JsonLine().Text("type", "message").Text("text", message).Str());
  });
  fn.WarningRpt->WarningIssued.Subscribe([](const std::string& warning) {
    Print(JsonLine().Text("type", "warning").Text("text", warning).Str());
  });
}

std::string RunSummaryJson(Functions& fn, int status) {
  std::int64_t files = 0, bytes = 0, errors = 0;
  for (const auto& record : fn.CurrentCfg->RemovedFiles()) {
    if (!record->FileMoved()) {
      ++errors;
      continue;
    }
    ++files;
    bytes += record->FileSize();
  }
  return JsonLine()
      .Text("type", "summary")
      .Number("files", files)
      .Number("bytes", bytes)
      .Number("errors", errors)
      .Number("folders", fn.FoldersScanned)
      .Number("purged", fn.CurrentCfg->LastPurge().items)
      .Number("purged_bytes", fn.CurrentCfg->LastPurge().bytes)
      .Number("purge_errors", fn.CurrentCfg->LastPurge().errors)
      .Number("status", status)
      .Str();
}

}  // namespace kestrel
