// The command line: silent mode iff the text starts with "-s"; only a silent text too short to
// name a file is refused; the file is the name, blanks around it removed, in the program folder
// unless absolute; the window gets the whole text.
#include "app/command_line.h"
#include "config/kestrel_cfg.h"
#include "fs/sys.h"
#include "fuzz_support.h"
#include "platform/error.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  static kestrel::fuzz::FixedClock clock;
  static kestrel::fuzz::CountingReporter reporter;
  static kestrel::Functions fn(kestrel::Outside{clock, reporter, kestrel::RealSys(), "/home/ann"});
  if (size > 4096) return 0;
  const std::string text(kestrel::fuzz::Text(data, size));
  kestrel::KestrelCfg& cfg = *fn.CurrentCfg;
  cfg.Filename("unset");
  const bool silent = kestrel::IsSilentCommandLine(text);
  FUZZ_CHECK(silent == (text.rfind("-s", 0) == 0), "silent iff the text starts with -s");
  try {
    kestrel::ProcessCommandLine(fn, text);
  } catch (const kestrel::KsError&) {
    FUZZ_CHECK(silent && text.size() < 4, "only a silent text too short for a name is refused");
    return 0;
  }
  FUZZ_CHECK(fn.GuiMode == !silent, "the mode follows the text");
  if (!silent) {
    FUZZ_CHECK(cfg.Filename() == text, "the window gets the whole text as its file");
    return 0;
  }
  // The name from the 4th character on, blanks around it removed.
  std::string name = text.substr(3);
  name.erase(0, name.find_first_not_of(' '));
  name.erase(name.find_last_not_of(' ') + 1);
  const std::string& file = cfg.Filename();
  FUZZ_CHECK(file == (name.rfind('/', 0) == 0 ? name : kestrel::ProgramFile(fn, name)),
             "a silent run's file is the name, in the program folder unless absolute");
  return 0;
}
