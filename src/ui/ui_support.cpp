#include "ui/ui_support.h"

#include <cstdlib>
#include <exception>
#include <memory>

#include "app/functions.h"
#include "config/kestrel_cfg.h"
#include "platform/dialogs.h"
#include "platform/error_reporter.h"

namespace kestrel {

KestrelCfg& CurrentCfg(Functions& fn) {
  if (!fn.CurrentCfg) fn.CurrentCfg = std::make_shared<KestrelCfg>(fn.Outside());
  return *fn.CurrentCfg;
}

std::string Trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::string ExpandHome(const std::string& path) {
  if (path.empty() || path[0] != '~' || (path.size() > 1 && path[1] != '/')) return path;
  const char* home = std::getenv("HOME");
  if (home == nullptr || *home == '\0') return path;
  return home + path.substr(1);
}

std::string BrowseForFolder(Functions& fn, Dialogs& dialogs, const std::string& start) {
  try {
    return dialogs.BrowseForFolder(start);
  } catch (...) {
    ReportHandled(fn.Outside().reporter, "Functions.BrowseForFolder", std::current_exception());
    return {};
  }
}

}  // namespace kestrel
