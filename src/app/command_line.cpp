#include "app/command_line.h"

#include "app/functions.h"
#include "config/kestrel_cfg.h"
#include "platform/error.h"

namespace kestrel {

std::string UsageText() {
  return "Remove Obsolete Files\n"
         "  Kestrel [-s:<configfile>]\n"
         "              -s : Run in 'silent' mode. If omitted, run in 'GUI' mode.\n"
         "                   The configuration file must be specified in 'silent' mode.\n"
         "    <configfile> : Configuration file. Optional in 'GUI' mode.";
}

std::string CommandLineText(const std::vector<std::string>& args) {
  std::string text;
  for (size_t i = 0; i < args.size(); ++i) {
    if (i > 0) text += ' ';
    text += args[i];
  }
  return text;
}

bool IsSilentCommandLine(const std::string& text) {
  return text.rfind("-s", 0) == 0;
}

void ProcessCommandLine(Functions& fn, const std::string& text) {
  KestrelCfg& cfg = *fn.CurrentCfg;
  if (!IsSilentCommandLine(text)) {
    cfg.Filename(text);
    fn.GuiMode = true;
    return;
  }
  if (text.size() < 4) {
    throw KsError(kAppError, "Silent option requires config file\n" + UsageText(),
                  "Functions.ProcessCommandLine");
  }
  std::string name = text.substr(3);
  const auto begin = name.find_first_not_of(' ');
  name =
      begin == std::string::npos ? "" : name.substr(begin, name.find_last_not_of(' ') - begin + 1);
  cfg.Filename(!name.empty() && name.front() == '/' ? name : ProgramFile(fn, name));
  fn.GuiMode = false;
}

}  // namespace kestrel
