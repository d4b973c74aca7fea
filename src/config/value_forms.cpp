#include "config/value_forms.h"

#include <cctype>
#include <cstdio>

namespace kestrel {
namespace {

bool IEquals(const std::string& a, const char* b) {
  size_t i = 0;
  for (; i < a.size() && b[i] != '\0'; ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != b[i]) return false;
  }
  return i == a.size() && b[i] == '\0';
}

// Optional sign, digits, optional fraction: at least one digit in all.
std::optional<bool> NumberIsNonZero(const std::string& s) {
  size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  bool digit = false;
  bool non_zero = false;
  bool point = false;
  for (; i < s.size(); ++i) {
    const char c = s[i];
    if (c >= '0' && c <= '9') {
      digit = true;
      non_zero = non_zero || c != '0';
    } else if (c == '.' && !point) {
      point = true;
    } else {
      return std::nullopt;
    }
  }
  if (!digit) return std::nullopt;
  return non_zero;
}

}  // namespace

std::optional<bool> ToBoolean(const std::string& text) {
  const auto b = text.find_first_not_of(" \t");
  if (b == std::string::npos) return std::nullopt;
  const std::string s = text.substr(b, text.find_last_not_of(" \t") - b + 1);
  if (IEquals(s, "true")) return true;
  if (IEquals(s, "false")) return false;
  return NumberIsNonZero(s);
}

std::string BooleanText(bool value) {
  return value ? "True" : "False";
}

std::string FolderIndex(std::int32_t index) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%03d", static_cast<int>(index));
  return buf;
}

std::string VersionText() {
  return std::to_string(KESTREL_VERSION_MAJOR) + "." + std::to_string(KESTREL_VERSION_MINOR) + "." +
         std::to_string(KESTREL_VERSION_PATCH);
}

}  // namespace kestrel
