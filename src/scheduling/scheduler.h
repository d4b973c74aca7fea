#pragma once

#include <map>
#include <optional>
#include <string>

namespace kestrel {

class ProgramRunner;
class Sys;

// What a scheduling command did: its exit status and the text for the user.
struct ScheduleOutcome {
  int status = 0;  // 0 done; 1 not done (no systemd user instance, systemctl failed); 2 bad input
  std::string message;
};

// Schedules silent runs of configurations in one program folder with the kestrel@.timer
// user units, through systemctl --user.
class Scheduler {
 public:
  // config_home holds the user's systemd units ($XDG_CONFIG_HOME/systemd/user's parent);
  // kestrel is the program the crontab line names.
  // Unit files are written through sys, each replaced atomically.
  Scheduler(Sys& sys, ProgramRunner& runner, std::string config_home, std::string program_folder,
            std::string kestrel);

  // Enables the timer of config (a name as -s: takes it) at the calendar, with the calendar
  // and the program folder in its drop-ins. A calendar systemd-analyze refuses (without it:
  // other than daily, weekly or monthly) is status 2 with nothing written. The drop-ins replace
  // the old ones atomically; when reloading or enabling fails the old ones are put back.
  // Without a systemd user instance: status 1 and the crontab line to use instead. The caller
  // has checked that the configuration can be read.
  ScheduleOutcome Schedule(const std::string& config, const std::string& calendar);
  // Disables the timer of config and removes its drop-ins; status 1 when it is not scheduled.
  ScheduleOutcome Unschedule(const std::string& config);
  // One line per scheduled configuration: its name, calendar and next run (unknown without a
  // systemd user instance).
  ScheduleOutcome List();
  // The calendar of each configuration with a timer drop-in here, by configuration name.
  std::map<std::string, std::string> Calendars() const;
  // Returns true iff systemctl --user reaches a user manager.
  bool HasUserManager();

 private:
  int Systemctl(std::initializer_list<std::string> args, std::string* output = nullptr);
  std::string UnitFolder() const;
  // Nullopt when the calendar is good, else why it is not.
  std::optional<std::string> CalendarProblem(const std::string& calendar);
  // Puts back the old text, or removes the file (and its emptied folder) when there was none.
  void PutBack(const std::string& path, const std::optional<std::string>& old);

  Sys& sys_;
  ProgramRunner& runner_;
  std::string config_home_;
  std::string program_folder_;
  std::string kestrel_;
};

// $XDG_CONFIG_HOME, else $HOME/.config.
std::string UserConfigHome();

}  // namespace kestrel
