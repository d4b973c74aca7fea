#pragma once

#include <vector>

#include "app/main_routine.h"

namespace kestrel {

// The commands of the long command line, one per command option; a line naming none of them
// is a silent run.
std::vector<LongCommand> Commands();

struct LongCommandLine;

// mark.cpp: renames the operands to carry (or lose) the mark of the prefix token of --config
// or default.ksp. Exit 1 when any file failed, 2 for a bad command line or configuration.
int MarkCommand(Functions& fn, const LongCommandLine& line);
int UnmarkCommand(Functions& fn, const LongCommandLine& line);
// schedule.cpp: the systemd user timers of configurations; exit 2 when the configuration
// cannot be read, 1 when nothing could be scheduled (the crontab line is printed instead).
int ScheduleCommand(Functions& fn, const LongCommandLine& line);
int UnscheduleCommand(Functions& fn, const LongCommandLine& line);
int SchedulesCommand(Functions& fn, const LongCommandLine& line);
// purge.cpp: deletes the quarantine items of CONFIG older than its PurgeAfterDays. Exit 1
// when the lock is held or an item was not purged, 2 for bad input or a refused folder.
int PurgeCommand(Functions& fn, const LongCommandLine& line);
// Puts the "Mark for removal" scripts into the user's GNOME Files scripts folder.
// Without the scripts (the window package is not installed) it says so and installs nothing.
int InstallFileManagerActionsCommand(Functions& fn, const LongCommandLine& line);
// Removes what InstallFileManagerActionsCommand put there.
int UninstallFileManagerActionsCommand(Functions& fn, const LongCommandLine& line);

}  // namespace kestrel
