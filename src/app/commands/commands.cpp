#include "app/commands/commands.h"

#include <cstdio>

#include "app/command_line.h"
#include "app/commands/forecast.h"
#include "app/commands/preview.h"
#include "app/commands/restore.h"
#include "app/functions.h"
#include "config/value_forms.h"

namespace kestrel {
namespace {

int Help(Functions& fn, const LongCommandLine&) {
  std::printf("%s\n\nProgram folder: %s\n", LongUsageText().c_str(), fn.ProgramFolder().c_str());
  return kExitOk;
}

int Version(Functions&, const LongCommandLine&) {
  std::printf("kestrel %s\n", VersionText().c_str());
  return kExitOk;
}

}  // namespace

std::vector<LongCommand> Commands() {
  constexpr int kAny = -1;
  return {
      {"help", Help},
      {"version", Version},
      {"preview", PreviewCommand, 1, 1, "a configuration file"},
      {"forecast", ForecastCommand, 1, 1, "a configuration file"},
      {"mark", MarkCommand, 1, kAny, "at least one file"},
      {"unmark", UnmarkCommand, 1, kAny, "at least one file"},
      {"schedule", ScheduleCommand, 0, 1},
      {"unschedule", UnscheduleCommand},
      {"schedules", SchedulesCommand},
      {"install-file-manager-actions", InstallFileManagerActionsCommand},
      {"uninstall-file-manager-actions", UninstallFileManagerActionsCommand},
      {"runs", RunsCommand},
      {"restore", RestoreCommand, 0, kAny},
      {"purge", PurgeCommand},
  };
}

}  // namespace kestrel
