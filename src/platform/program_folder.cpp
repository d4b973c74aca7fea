#include "platform/program_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>

// Fixed at build time: the build folder whose copy may keep its files beside itself, and where
// the window program and the data are.
#ifndef KESTREL_BUILD_FOLDER
#define KESTREL_BUILD_FOLDER ""
#endif
#ifndef KESTREL_SOURCE_DATA
#define KESTREL_SOURCE_DATA ""
#endif
#ifndef KESTREL_INSTALLED_DATA
#define KESTREL_INSTALLED_DATA ""
#endif
#ifndef KESTREL_INSTALLED_GUI
#define KESTREL_INSTALLED_GUI ""
#endif

namespace kestrel {
namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v != nullptr ? v : "";
}

std::filesystem::path ExecutableFolder() {
  std::error_code ec;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::filesystem::path() : exe.parent_path();
}

bool RunsFromBuildTree(const std::filesystem::path& folder) {
  std::error_code ec;
  return !folder.empty() && *KESTREL_BUILD_FOLDER != '\0' &&
         std::filesystem::equivalent(folder, KESTREL_BUILD_FOLDER, ec);
}

}  // namespace

std::string ResolveProgramFolder() {
  if (std::string home = Env("KESTREL_HOME"); !home.empty()) return home;

  const auto exe_folder = ExecutableFolder();
  if (RunsFromBuildTree(exe_folder) && ::access(exe_folder.c_str(), W_OK) == 0) {
    return exe_folder.string();
  }

  std::string data = Env("XDG_DATA_HOME");
  if (data.empty()) data = Env("HOME") + "/.local/share";
  const std::string folder = data + "/kestrel";
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  return folder;
}

std::string WindowProgramPath() {
  const auto exe_folder = ExecutableFolder();
  const std::string beside = (exe_folder / "kestrel-gui").string();
  if (RunsFromBuildTree(exe_folder) || *KESTREL_INSTALLED_GUI == '\0') return beside;
  return ::access(KESTREL_INSTALLED_GUI, X_OK) == 0 ? KESTREL_INSTALLED_GUI : beside;
}

std::string DataFolder() {
  const auto exe_folder = ExecutableFolder();
  if (RunsFromBuildTree(exe_folder)) return KESTREL_SOURCE_DATA;
  if (::access(KESTREL_INSTALLED_DATA, R_OK) == 0) return KESTREL_INSTALLED_DATA;
  return (exe_folder.parent_path() / "share/kestrel").string();
}

}  // namespace kestrel
