#include "scheduling/scheduler.h"

#include <cstdlib>
#include <filesystem>
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
  if (!WriteText(sys_, UnitFolder() + "/" + timer + ".d/" + kDropInName, TimerDropIn(calendar)) ||
      !WriteText(sys_, UnitFolder() + "/" + service + ".d/" + kDropInName,
                 ServiceDropIn(program_folder_))) {
    return {1, "Cannot write the drop-ins of " + timer + " in " + UnitFolder()};
  }
  std::string output;
  if (Systemctl({"daemon-reload"}, &output) != 0 ||
      Systemctl({"enable", "--now", timer}, &output) != 0) {
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

ScheduleOutcome Scheduler::List() {
  if (!HasUserManager()) return {1, "There is no systemd user instance; see your crontab"};
  std::string output;
  if (Systemctl({"show", "--property=Id,NextElapseUSecRealtime", "kestrel@*.timer"}, &output) !=
      0) {
    return {1, "systemctl --user show failed"};
  }
  // Blocks of "Key=Value" lines, one per unit, separated by blank lines.
  std::string text, id, next;
  auto flush = [&] {
    if (auto config = ConfigOfTimer(id)) {
      text += EscapeControlBytes(*config) + "\tnext run: " + (next.empty() ? "none" : next) + "\n";
    }
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
  if (text.empty()) return {0, "No configuration is scheduled."};
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
