#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace kestrel::test {

// A fresh folder under base (the temporary folder by default), removed with all it holds.
class TempDir {
 public:
  explicit TempDir(const std::string& base = "");
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& Path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Sets an environment variable for the guard's lifetime.
class EnvVar {
 public:
  EnvVar(const char* name, const std::string& value);
  ~EnvVar();
  EnvVar(const EnvVar&) = delete;
  EnvVar& operator=(const EnvVar&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// Test-side file helpers over plain POSIX calls; each fails the running test on error.
void WriteFile(const std::string& path, const std::string& content, mode_t mode = 0644);
std::string ReadFile(const std::string& path);
void MakeDir(const std::string& path, mode_t mode = 0755);
void MakeLink(const std::string& target, const std::string& path);
// Sorted names in a folder, "." and ".." left out.
std::vector<std::string> Names(const std::string& folder);
// Returns true iff something (a dangling link included) is at the path.
bool Exists(const std::string& path);
// The device of what the path names.
dev_t DeviceOf(const std::string& path);

}  // namespace kestrel::test
