#include "app/commands/config_operand.h"

#include <cerrno>
#include <exception>

#include "app/command_line.h"
#include "app/functions.h"
#include "config/kestrel_cfg.h"
#include "fs/win32_wrapper.h"
#include "platform/error.h"
#include "platform/escape_text.h"

namespace kestrel {

bool LoadConfigOperand(Functions& fn, const LongCommandLine& line) {
  try {
    const std::string path = line.operands.size() == 1
                                 ? ConfigOperandPath(fn.ProgramFolder(), line.operands.front())
                                 : std::string();
    if (path.empty()) {
      throw KsError(kAppError, "The command needs exactly one configuration file\n" + UsageText(),
                    "Functions.ProcessCommandLine");
    }
    Win32Wrapper fs(fn.Outside().sys);
    if (!fs.FileExists(path) || fs.FolderExists(path)) {
      throw KsError(ENOENT, "Configuration file not found: " + EscapeControlBytes(path),
                    "Functions.Main");
    }
    fn.CurrentCfg->Filename(path);
    return fn.CurrentCfg->Load();
  } catch (...) {
    ReportHandled(fn.Outside().reporter, "Functions.Main", std::current_exception());
    return false;
  }
}

}  // namespace kestrel
