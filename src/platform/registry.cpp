#include "platform/registry.h"

#include <cstdlib>
#include <fstream>

namespace kestrel {
namespace {

constexpr size_t kMaxValueBytes = 255;

std::string Finish(std::string value) {
  if (value.size() > kMaxValueBytes) return {};
  if (auto nul = value.find('\0'); nul != std::string::npos) value.resize(nul);
  const auto begin = value.find_first_not_of(" \t");
  if (begin == std::string::npos) return {};
  const auto end = value.find_last_not_of(" \t\r");
  return value.substr(begin, end - begin + 1);
}

std::string Organization(const RegistrySources& sources) {
  if (const char* env = std::getenv("ORGANIZATION"); env != nullptr && *env != '\0') {
    return Finish(env);
  }
  std::ifstream in(sources.etc_dir + "/organization", std::ios::binary);
  std::string line;
  if (!in || !std::getline(in, line)) return {};
  return Finish(line);
}

}  // namespace

std::string GetRegistryValue(const std::string& key_name, const std::string& value_name,
                             const RegistrySources& sources) {
  if (key_name == "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion" &&
      value_name == "RegisteredOrganization") {
    return Organization(sources);
  }
  return {};
}

}  // namespace kestrel
