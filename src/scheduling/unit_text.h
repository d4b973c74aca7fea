#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kestrel {

// The name as systemd-escape writes it: "/" becomes "-"; ASCII letters, digits, ":", "_" and
// "." (but a leading ".") stay; every other byte becomes "\xNN".
std::string SystemdEscape(std::string_view name);
// The reverse of SystemdEscape; nullopt iff the text holds a broken "\x" sequence.
std::optional<std::string> SystemdUnescape(std::string_view text);
// "kestrel@" + SystemdEscape(config) + ".timer", the timer of one configuration name.
std::string TimerUnit(std::string_view config);
// The configuration a timer unit runs; nullopt iff the unit is no instance of kestrel@.timer.
std::optional<std::string> ConfigOfTimer(std::string_view unit);
// Returns true iff the text may go into a unit file: not empty, no control bytes.
bool FitsUnitFile(std::string_view text);
// The timer drop-in that replaces the calendar.
std::string TimerDropIn(std::string_view calendar);
// The service drop-in that hands the program folder to the run.
std::string ServiceDropIn(std::string_view program_folder);
// The crontab line of a run of config at a daily, weekly or monthly calendar; nullopt for any
// other calendar, which cron cannot express.
std::optional<std::string> CrontabLine(std::string_view calendar, std::string_view kestrel,
                                       std::string_view program_folder, std::string_view config);

}  // namespace kestrel
