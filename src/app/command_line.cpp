#include "app/command_line.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "app/functions.h"
#include "config/kestrel_cfg.h"
#include "platform/error.h"
#include "platform/escape_text.h"

namespace kestrel {

std::string UsageText() {
  return "Remove Obsolete Files\n"
         "  Kestrel [-s:<configfile>]\n"
         "              -s : Run in 'silent' mode. If omitted, run in 'GUI' mode.\n"
         "                   The configuration file must be specified in 'silent' mode.\n"
         "    <configfile> : Configuration file. Optional in 'GUI' mode.";
}

std::string CommandLineText(const std::vector<std::string>& args) {
  std::string text;
  for (size_t i = 0; i < args.size(); ++i) {
    if (i > 0) text += ' ';
    text += args[i];
  }
  return text;
}

bool IsSilentCommandLine(const std::string& text) {
  return text.rfind("-s", 0) == 0;
}

namespace {

std::string TrimBlanks(const std::string& text) {
  const auto begin = text.find_first_not_of(' ');
  if (begin == std::string::npos) return "";
  return text.substr(begin, text.find_last_not_of(' ') - begin + 1);
}

// 36500 as "36,500" (n not negative).
std::string Grouped(long long n) {
  const std::string digits = std::to_string(n);
  std::string text;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) text += ',';
    text += digits[i];
  }
  return text;
}

}  // namespace

int ReportUsageError(const std::string& message) {
  std::fprintf(stderr, "kestrel: %s\nTry 'kestrel --help' for more information.\n",
               message.c_str());
  std::fflush(stderr);
  return 2;
}

long long WholeNumberOption(std::string_view option, const std::string& text, const char* unit,
                            long long min, long long max) {
  const bool digits =
      !text.empty() && text.size() <= 12 && text.find_first_not_of("0123456789") == text.npos;
  const long long n = digits ? std::stoll(text) : -1;
  if (digits && n >= min && n <= max) return n;
  throw UsageError("--" + std::string(option) + " takes a whole number of " + unit + " from " +
                   Grouped(min) + " to " + Grouped(max) + ", not \"" + EscapeControlBytes(text) +
                   "\"");
}

const std::vector<LongOption>& LongOptions() {
  static const std::vector<LongOption> options = {
      {"help", nullptr, "print this text and the program folder, then exit"},
      {"version", nullptr, "print the version, then exit"},
      {"preview", nullptr, "list what a run would move now, and where it would stop"},
      {"forecast", "DAYS", "list marked files due now, within DAYS days (0 to 36,500), never due"},
      {"json", nullptr, "print JSON Lines: a run, --preview, --forecast, --runs, --restore, --purge"},
      {"mark", "WHEN",
       "rename FILEs to be removed WHEN: Nd, Nw, Nm, Ny (any N up to 12-31-9999) or "
       "MM-DD-YYYY"},
      {"unmark", nullptr,
       "rename FILEs back to their names without the mark; with --restore, the restored files"},
      {"config", "CONFIG", "--mark, --unmark: the token of CONFIG, not of default.ksp"},
      {"schedule", "CONFIG", "run CONFIG weekly, daily, monthly or at a calendar"},
      {"unschedule", "CONFIG", "stop the scheduled runs of CONFIG"},
      {"schedules", nullptr, "list the scheduled configurations and their next run"},
      {"install-file-manager-actions", nullptr,
       "add \"Mark for removal\" to the GNOME Files scripts"},
      {"uninstall-file-manager-actions", nullptr,
       "remove what --install-file-manager-actions added"},
      {"wait", "SECONDS",
       "let a run, restore or purge wait up to SECONDS (0 to 999,999,999) for another run"},
      {"runs", nullptr, "list the journaled runs: name, time, files, bytes, configuration"},
      {"restore", "RUN",
       "move the files of run RUN (a name from --runs, or last) back, or only the PATHs given"},
      {"rename", nullptr, "with --restore: restore to a free name when the original is taken"},
      {"keep-journals", "N", "keep the journals of the last N runs (1 to 10,000; default 100)"},
      {"purge", "CONFIG", "delete the quarantine items of CONFIG older than its purge days"},
  };
  return options;
}

bool LongCommandLine::Has(std::string_view name) const {
  return std::any_of(options.begin(), options.end(),
                     [&](const auto& option) { return option.first == name; });
}

std::string LongCommandLine::Value(std::string_view name) const {
  for (auto it = options.rbegin(); it != options.rend(); ++it) {
    if (it->first == name) return it->second;
  }
  return "";
}

bool IsLongCommandLine(const std::vector<std::string>& args) {
  return !args.empty() && args.front().rfind("--", 0) == 0;
}

LongCommandLine ParseLongCommandLine(const std::vector<std::string>& args) {
  LongCommandLine line;
  bool options_ended = false;
  std::vector<size_t> waiting;  // options whose value is the next operand
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (options_ended || arg.rfind("--", 0) != 0) {
      if (waiting.empty()) {
        line.operands.push_back(arg);
      } else {
        line.options[waiting.front()].second = arg;
        waiting.erase(waiting.begin());
      }
      continue;
    }
    if (arg == "--") {
      options_ended = true;
      continue;
    }
    const auto equals = arg.find('=');
    const std::string name = arg.substr(2, equals == std::string::npos ? equals : equals - 2);
    const auto& known = LongOptions();
    const auto option = std::find_if(known.begin(), known.end(),
                                     [&](const LongOption& o) { return name == o.name; });
    if (option == known.end()) {
      throw UsageError("unrecognized option '--" + EscapeControlBytes(name) + "'");
    }
    std::string value;
    if (option->value_name == nullptr) {
      if (equals != std::string::npos) throw UsageError("option '--" + name + "' takes no value");
    } else if (equals != std::string::npos) {
      value = arg.substr(equals + 1);
    } else if (i + 1 < args.size() && args[i + 1].rfind("--", 0) != 0) {
      value = args[++i];
    } else {
      waiting.push_back(line.options.size());
    }
    line.options.emplace_back(name, value);
  }
  if (!waiting.empty()) {
    const std::string& name = line.options[waiting.front()].first;
    const auto option = std::find_if(LongOptions().begin(), LongOptions().end(),
                                     [&](const LongOption& o) { return name == o.name; });
    throw UsageError("option '--" + name + "' needs " + option->value_name);
  }
  return line;
}

std::string LongUsageText() {
  std::string text =
      UsageText() +
      "\n\nOptions (the command line starts with one; operands may come before or after\n"
      "them, and -- ends them):\n";
  for (const LongOption& option : LongOptions()) {
    std::string left = std::string("  --") + option.name;
    if (option.value_name != nullptr) left += std::string(" ") + option.value_name;
    left.resize(std::max<size_t>(left.size() + 2, 28), ' ');
    text += left + option.help + "\n";
  }
  text +=
      "\nA configuration operand is resolved as -s: resolves it: -s:NAME or NAME, in the\n"
      "program folder unless absolute.\n"
      "\nExamples:\n"
      "  kestrel --keep-journals 20 weekly.ksp    a run that keeps 20 journals\n"
      "  kestrel --runs                           the runs that can be restored\n"
      "  kestrel --restore last                   bring back all the last run moved\n"
      "  kestrel --restore 2026-12-06T10-00-00 --rename '/home/ann/budget del-10-31-2026.xls'";
  return text;
}

std::string AbsolutePath(const std::string& path) {
  std::error_code ec;
  const auto absolute = std::filesystem::absolute(path, ec);
  return ec ? path : absolute.string();
}

std::string ConfigOperandPath(const std::string& program_folder, const std::string& operand) {
  const std::string name = TrimBlanks(
      operand.rfind("-s", 0) == 0 ? operand.substr(std::min<size_t>(3, operand.size())) : operand);
  if (name.empty()) return "";
  if (name.front() == '/') return name;
  return program_folder + "/" + name;
}

void ProcessCommandLine(Functions& fn, const std::string& text) {
  KestrelCfg& cfg = *fn.CurrentCfg;
  if (!IsSilentCommandLine(text)) {
    cfg.Filename(text);
    fn.GuiMode = true;
    return;
  }
  if (text.size() < 4) {
    throw KsError(kAppError, "Silent option requires config file\n" + UsageText(),
                  "Functions.ProcessCommandLine");
  }
  const std::string name = TrimBlanks(text.substr(3));
  cfg.Filename(!name.empty() && name.front() == '/' ? name : ProgramFile(fn, name));
  fn.GuiMode = false;
}

}  // namespace kestrel
