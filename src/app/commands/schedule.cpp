// --schedule, --unschedule, --schedules and --install-file-manager-actions.
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "app/command_line.h"
#include "app/commands/commands.h"
#include "app/functions.h"
#include "config/kestrel_cfg.h"
#include "fs/win32_wrapper.h"
#include "platform/escape_text.h"
#include "platform/program_folder.h"
#include "platform/program_runner.h"
#include "scheduling/scheduler.h"

namespace kestrel {
namespace {

namespace fs = std::filesystem;

std::string AbsoluteFolder(const std::string& folder) {
  std::error_code ec;
  const auto absolute = fs::absolute(folder, ec);
  return ec ? folder : absolute.lexically_normal().string();
}

Scheduler MakeScheduler(Functions& fn) {
  std::error_code ec;
  const auto self = fs::read_symlink("/proc/self/exe", ec);
  return Scheduler(fn.Outside().sys, RealProgramRunner(), UserConfigHome(),
                   AbsoluteFolder(fn.ProgramFolder()), ec ? "kestrel" : self.string());
}

constexpr const char* kScripts[] = {"1 week", "1 month", "3 months", "1 year", "Choose date..."};

// The "Mark for removal" folder of the GNOME Files scripts.
fs::path NautilusMenu() {
  const char* xdg = std::getenv("XDG_DATA_HOME");
  const char* home = std::getenv("HOME");
  const fs::path data = xdg != nullptr && *xdg != '\0'
                            ? fs::path(xdg)
                            : fs::path(home != nullptr ? home : "") / ".local/share";
  return data / "nautilus" / "scripts" / "Mark for removal";
}

int Print(const ScheduleOutcome& out) {
  std::fprintf(out.status == 0 ? stdout : stderr, "%s%s\n",
               out.status == 0 ? "" : "kestrel: ", out.message.c_str());
  return out.status;
}

// The name the timer hands to -s:, once the configuration it names has been read in full.
std::string ReadableConfig(Functions& fn, const std::string& operand) {
  const std::string path = ConfigOperandPath(fn.ProgramFolder(), operand);
  Win32Wrapper files(fn.Outside().sys);
  if (path.empty() || !files.FileExists(path) || files.FolderExists(path)) {
    std::fprintf(stderr, "kestrel: configuration file not found: %s\n",
                 EscapeControlBytes(path.empty() ? operand : path).c_str());
    return "";
  }
  KestrelCfg& cfg = *fn.CurrentCfg;
  cfg.Filename(path);
  if (!cfg.Load()) return "";
  return operand.rfind("-s", 0) == 0 ? operand.substr(std::min<size_t>(3, operand.size()))
                                     : operand;
}

}  // namespace

int ScheduleCommand(Functions& fn, const LongCommandLine& line) {
  const std::string config = ReadableConfig(fn, line.Value("schedule"));
  if (config.empty()) return kExitBadInput;
  const std::string calendar = line.operands.empty() ? "weekly" : line.operands.front();
  return Print(MakeScheduler(fn).Schedule(config, calendar));
}

int UnscheduleCommand(Functions& fn, const LongCommandLine& line) {
  std::string config = line.Value("unschedule");
  if (config.rfind("-s", 0) == 0) config = config.substr(std::min<size_t>(3, config.size()));
  return Print(MakeScheduler(fn).Unschedule(config));
}

int SchedulesCommand(Functions& fn, const LongCommandLine&) {
  return Print(MakeScheduler(fn).List());
}

int InstallFileManagerActionsCommand(Functions&, const LongCommandLine&) {
  const fs::path script = fs::path(DataFolder()) / "nautilus" / "kestrel-mark";
  const fs::path menu = NautilusMenu();
  std::error_code ec;
  if (!fs::is_regular_file(script, ec)) {
    std::fprintf(stderr,
                 "kestrel: the file manager actions come with the kestrel-gui package; install "
                 "it first (%s is missing)\n",
                 EscapeControlBytes(script.string()).c_str());
    return kExitRunFailed;
  }
  fs::create_directories(menu, ec);
  for (const char* name : kScripts) {
    if (ec) break;
    fs::copy_file(script, menu / name, fs::copy_options::overwrite_existing, ec);
    if (!ec) fs::permissions(menu / name, fs::perms(0755), ec);
  }
  if (ec) {
    std::fprintf(stderr, "kestrel: cannot put the Nautilus scripts into %s: %s\n",
                 EscapeControlBytes(menu.string()).c_str(), ec.message().c_str());
    return kExitRunFailed;
  }
  std::printf("GNOME Files: \"Mark for removal\" is in the Scripts menu (%s)\n",
              EscapeControlBytes(menu.string()).c_str());
  return kExitOk;
}

int UninstallFileManagerActionsCommand(Functions&, const LongCommandLine&) {
  const fs::path menu = NautilusMenu();
  std::error_code ec;
  int removed = 0;
  for (const char* name : kScripts) removed += fs::remove(menu / name, ec) ? 1 : 0;
  // Only an emptied folder goes; scripts the user added stay.
  fs::remove(menu, ec);
  if (removed == 0) {
    std::printf("GNOME Files: \"Mark for removal\" was not installed (%s)\n",
                EscapeControlBytes(menu.string()).c_str());
  } else {
    std::printf("GNOME Files: \"Mark for removal\" is removed from the Scripts menu (%s)\n",
                EscapeControlBytes(menu.string()).c_str());
  }
  return kExitOk;
}

}  // namespace kestrel
