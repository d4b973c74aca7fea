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
  return {
      {"help", Help},
      {"version", Version},
      {"preview", PreviewCommand},
      {"forecast", ForecastCommand},
      {"mark", MarkCommand},
      {"unmark", UnmarkCommand},
      {"schedule", ScheduleCommand},
      {"unschedule", UnscheduleCommand},
      {"schedules", SchedulesCommand},
      {"install-file-manager-actions", InstallFileManagerActionsCommand},
      {"runs", RunsCommand},
      {"restore", RestoreCommand},
      {"purge", PurgeCommand},
  };
}

}  // namespace kestrel
