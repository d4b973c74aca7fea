#include "platform/program_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>

namespace kestrel {
namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v != nullptr ? v : "";
}

}  // namespace

std::string ResolveProgramFolder() {
  if (std::string home = Env("KESTREL_HOME"); !home.empty()) return home;

  std::error_code ec;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    const std::string folder = exe.parent_path().string();
    if (::access(folder.c_str(), W_OK) == 0) return folder;
  }

  std::string data = Env("XDG_DATA_HOME");
  if (data.empty()) data = Env("HOME") + "/.local/share";
  const std::string folder = data + "/kestrel";
  std::filesystem::create_directories(folder, ec);
  return folder;
}

}  // namespace kestrel
