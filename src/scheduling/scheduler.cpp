#include "scheduling/scheduler.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "fs/replace_file.h"
#include "platform/error.h"
#include "platform/escape_text.h"
#include "platform/program_runner.h"
#include "scheduling/unit_text.h"

namespace kestrel {
namespace {

namespace fs = std::filesystem;

constexpr const char* kDropInName = "kestrel.conf";

std::string Trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

std::optional<std::string> ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The calendar a timer drop-in sets: its last OnCalendar= line.
std::string CalendarOf(const std::string& drop_in) {
  std::string calendar;
  std::istringstream in(drop_in);
  for (std::string line; std::getline(in, line);) {
    if (line.starts_with("OnCalendar=")) calendar = line.substr(11);
  }
  return calendar;
}

bool WriteText(Sys& sys, const std::string& path, const std::string& text) {
  if (MakeFolders(sys, path.substr(0, path.rfind('/')), 0755) != 0) return false;
  try {
    ReplaceFile(sys, path, text, "Scheduler");
    return true;
  } catch (const KsError&) {
    return false;
  }
}

}  // namespace

Scheduler::Scheduler(Sys& sys, ProgramRunner& runner, std::string config_home,
                     std::string program_folder, std::string kestrel)
    : sys_(sys),
      runner_(runner),
      config_home_(std::move(config_home)),
      program_folder_(std::move(program_folder)),
      kestrel_(std::move(kestrel)) {}

int Scheduler::Systemctl(std::initializer_list<std::string> args, std::string* output) {
  std::vector<std::string> argv = {"systemctl", "--user"};
  argv.insert(argv.end(), args);
  std::string ignored;
  return runner_.Run(argv, output != nullptr ? output : &ignored);
}

std::string Scheduler::UnitFolder() const {
  return config_home_ + "/systemd/user";
}

std::optional<std::string> Scheduler::CalendarProblem(const std::string& calendar) {
  std::string output;
  const int status = runner_.Run({"systemd-analyze", "calendar", calendar}, &output);
  if (status == 0) return std::nullopt;
  if (status != 127) {
    return "systemd does not understand the calendar \"" + EscapeControlBytes(calendar) + "\":\n" +
           Trimmed(output);
  }
  if (calendar == "daily" || calendar == "weekly" || calendar == "monthly") return std::nullopt;
  return "Without systemd-analyze to check it, the calendar must be daily, weekly or monthly, not "
         "\"" +
         EscapeControlBytes(calendar) + "\"";
}

void Scheduler::PutBack(const std::string& path, const std::optional<std::string>& old) {
  if (old) {
    WriteText(sys_, path, *old);
    return;
  }
  std::error_code ec;
  fs::remove(path, ec);
  fs::remove(fs::path(path).parent_path(), ec);  // only when empty
}

bool Scheduler::HasUserManager() {
  return Systemctl({"show-environment"}) == 0;
}

ScheduleOutcome Scheduler::Schedule(const std::string& config, const std::string& calendar) {
  if (!FitsUnitFile(config) || !FitsUnitFile(calendar)) {
    return {2, "The configuration name and the calendar must be text without line breaks"};
  }
  // The program folder goes into the service's drop-in or the crontab line as it is.
  if (!FitsUnitFile(program_folder_)) {
    return {1, "The program folder \"" + EscapeControlBytes(program_folder_) +
                   "\" cannot be scheduled: its name holds a line break or another control byte"};
  }
  if (auto problem = CalendarProblem(calendar)) return {2, *problem};
  if (!HasUserManager()) {
    const auto line = CrontabLine(calendar, kestrel_, program_folder_, config);
    if (!line) {
      return {1, "There is no systemd user instance, and cron cannot express the calendar \"" +
                     calendar + "\"; use daily, weekly or monthly with cron"};
    }
    return {1, "There is no systemd user instance. Add this line to your crontab (crontab -e):\n" +
                   *line};
  }
  const std::string timer = TimerUnit(config);
  const std::string service = timer.substr(0, timer.size() - 6) + ".service";
  const std::string timer_file = UnitFolder() + "/" + timer + ".d/" + kDropInName;
  const std::string service_file = UnitFolder() + "/" + service + ".d/" + kDropInName;
  const std::optional<std::string> old_timer = ReadText(timer_file);
  const std::optional<std::string> old_service = ReadText(service_file);
  const auto put_back = [&] {
    PutBack(timer_file, old_timer);
    PutBack(service_file, old_service);
  };
  if (!WriteText(sys_, timer_file, TimerDropIn(calendar)) ||
      !WriteText(sys_, service_file, ServiceDropIn(program_folder_))) {
    put_back();
    return {1, "Cannot write the drop-ins of " + timer + " in " + EscapeControlBytes(UnitFolder())};
  }
  std::string output;
  if (Systemctl({"daemon-reload"}, &output) != 0) {
    put_back();
    Systemctl({"daemon-reload"});
    return {1, "systemctl --user daemon-reload failed:\n" + Trimmed(output)};
  }
  if (Systemctl({"enable", "--now", timer}, &output) != 0) {
    put_back();
    Systemctl({"daemon-reload"});
    return {1, "systemctl --user enable --now " + timer + " failed:\n" + Trimmed(output)};
  }
  return {0, "Scheduled " + config + " (" + calendar + "): " + timer};
}

ScheduleOutcome Scheduler::Unschedule(const std::string& config) {
  if (!FitsUnitFile(config)) return {2, "The configuration name must be text without line breaks"};
  if (!HasUserManager()) {
    return {1, "There is no systemd user instance; remove the line of " + config +
                   " from your crontab (crontab -e)"};
  }
  const std::string timer = TimerUnit(config);
  const std::string service = timer.substr(0, timer.size() - 6) + ".service";
  if (!fs::exists(UnitFolder() + "/" + timer + ".d/" + kDropInName)) {
    return {1, EscapeControlBytes(config) + " is not scheduled"};
  }
  std::string output;
  const int disabled = Systemctl({"disable", "--now", timer}, &output);
  std::error_code ec;
  fs::remove_all(UnitFolder() + "/" + timer + ".d", ec);
  fs::remove_all(UnitFolder() + "/" + service + ".d", ec);
  Systemctl({"daemon-reload"});
  if (disabled != 0) {
    return {1, "systemctl --user disable --now " + timer + " failed:\n" + Trimmed(output)};
  }
  return {0, "Unscheduled " + config + ": " + timer};
}

std::map<std::string, std::string> Scheduler::Calendars() const {
  std::map<std::string, std::string> calendars;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(UnitFolder(), ec)) {
    const std::string name = entry.path().filename().string();
    if (!name.ends_with(".timer.d")) continue;
    const auto config = ConfigOfTimer(name.substr(0, name.size() - 2));
    const auto drop_in = ReadText(entry.path() / kDropInName);
    if (config && drop_in) calendars[*config] = CalendarOf(*drop_in);
  }
  return calendars;
}

ScheduleOutcome Scheduler::List() {
  const std::map<std::string, std::string> calendars = Calendars();
  const bool manager = HasUserManager();
  if (calendars.empty()) {
    return {0, manager ? "No configuration is scheduled."
                       : "No configuration is scheduled with systemd; see your crontab."};
  }
  // Blocks of "Key=Value" lines, one per unit, separated by blank lines.
  std::map<std::string, std::string> next_runs;
  std::string output;
  if (manager && Systemctl({"show", "--property=Id,NextElapseUSecRealtime", "kestrel@*.timer"},
                           &output) == 0) {
    std::string id, next;
    auto flush = [&] {
      if (auto config = ConfigOfTimer(id)) next_runs[*config] = next.empty() ? "none" : next;
      id.clear();
      next.clear();
    };
    std::istringstream in(output);
    for (std::string line; std::getline(in, line);) {
      if (line.empty()) flush();
      if (line.starts_with("Id=")) id = line.substr(3);
      if (line.starts_with("NextElapseUSecRealtime=")) next = line.substr(23);
    }
    flush();
  }
  std::string text;
  for (const auto& [config, calendar] : calendars) {
    const auto next = next_runs.find(config);
    text += EscapeControlBytes(config) + "\tcalendar: " + EscapeControlBytes(calendar) +
            "\tnext run: " +
            (!manager                  ? "unknown (no systemd user instance)"
             : next != next_runs.end() ? next->second
                                       : "none") +
            "\n";
  }
  text.pop_back();
  return {0, text};
}

std::string UserConfigHome() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg != nullptr && *xdg != '\0') return xdg;
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr ? home : "") + "/.config";
}

}  // namespace kestrel
