#include "scheduling/unit_text.h"

#include <cstdio>

namespace kestrel {
namespace {

constexpr std::string_view kPrefix = "kestrel@";
constexpr std::string_view kSuffix = ".timer";

bool KeptAsIs(char c, bool first) {
  if (c == '.') return !first;
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ':' ||
         c == '_';
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Single quotes for the shell, and "\%" since cron reads "%" as a line break.
std::string CronQuoted(std::string_view text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'') {
      out += "'\\''";
    } else if (c == '%') {
      out += "\\%";
    } else {
      out += c;
    }
  }
  return out + "'";
}

}  // namespace

std::string SystemdEscape(std::string_view name) {
  std::string out;
  for (size_t i = 0; i < name.size(); ++i) {
    const char c = name[i];
    if (c == '/') {
      out += '-';
    } else if (KeptAsIs(c, i == 0)) {
      out += c;
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", static_cast<unsigned char>(c));
      out += hex;
    }
  }
  return out;
}

std::optional<std::string> SystemdUnescape(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '-') {
      out += '/';
    } else if (text[i] == '\\') {
      if (i + 3 >= text.size() || text[i + 1] != 'x') return std::nullopt;
      const int high = HexValue(text[i + 2]), low = HexValue(text[i + 3]);
      if (high < 0 || low < 0) return std::nullopt;
      out += static_cast<char>(high * 16 + low);
      i += 3;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string TimerUnit(std::string_view config) {
  return std::string(kPrefix) + SystemdEscape(config) + std::string(kSuffix);
}

std::optional<std::string> ConfigOfTimer(std::string_view unit) {
  if (unit.size() <= kPrefix.size() + kSuffix.size() || !unit.starts_with(kPrefix) ||
      !unit.ends_with(kSuffix)) {
    return std::nullopt;
  }
  return SystemdUnescape(
      unit.substr(kPrefix.size(), unit.size() - kPrefix.size() - kSuffix.size()));
}

bool FitsUnitFile(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return false;
  }
  return true;
}

std::string TimerDropIn(std::string_view calendar) {
  return "[Timer]\nOnCalendar=\nOnCalendar=" + std::string(calendar) + "\n";
}

std::string ServiceDropIn(std::string_view program_folder) {
  std::string value;
  for (char c : program_folder) {
    if (c == '\\' || c == '"') value += '\\';
    if (c == '%') value += '%';
    value += c;
  }
  return "[Service]\nEnvironment=\"KESTREL_HOME=" + value + "\"\n";
}

std::optional<std::string> CrontabLine(std::string_view calendar, std::string_view kestrel,
                                       std::string_view program_folder, std::string_view config) {
  if (calendar != "daily" && calendar != "weekly" && calendar != "monthly") return std::nullopt;
  return "@" + std::string(calendar) + " KESTREL_HOME=" + CronQuoted(program_folder) + " " +
         CronQuoted(kestrel) + " --wait 600 " + CronQuoted("-s:" + std::string(config));
}

}  // namespace kestrel
