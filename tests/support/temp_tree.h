#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

// Real temporary trees for the file-system tests, over plain POSIX calls.
namespace kestrel::test {

// A fresh folder under base ($TMPDIR or /tmp by default), removed with all it holds.
class TempDir {
 public:
  explicit TempDir(std::string base = "") {
    if (base.empty()) base = std::getenv("TMPDIR") != nullptr ? std::getenv("TMPDIR") : "/tmp";
    path_ = base + "/kestrel-test-XXXXXX";
    if (mkdtemp(path_.data()) == nullptr) ADD_FAILURE() << "mkdtemp in " << base;
  }
  // rm copes with trees deeper and paths longer than the tests make.
  ~TempDir() { EXPECT_EQ(std::system(("rm -rf -- '" + path_ + "'").c_str()), 0) << path_; }
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
  EnvVar(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    setenv(name, value.c_str(), 1);
  }
  ~EnvVar() { old_ ? setenv(name_, old_->c_str(), 1) : unsetenv(name_); }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// Creates the missing folders on the way too.
inline void WriteFile(const std::string& path, const std::string& content, mode_t mode = 0644) {
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
  EXPECT_FALSE(ec) << path << ": " << ec.message();
  std::ofstream(path, std::ios::binary) << content;
  EXPECT_EQ(chmod(path.c_str(), mode), 0) << path;
}
inline std::string ReadFile(const std::string& path) {
  std::ostringstream text;
  text << std::ifstream(path, std::ios::binary).rdbuf();
  return text.str();
}
inline void MakeDir(const std::string& path, mode_t mode = 0755) {
  EXPECT_TRUE(mkdir(path.c_str(), mode) == 0 && chmod(path.c_str(), mode) == 0) << path;
}
inline void MakeLink(const std::string& target, const std::string& path) {
  EXPECT_EQ(symlink(target.c_str(), path.c_str()), 0) << path;
}
// Nests levels folders called name in root, through descriptors since the path may outgrow
// PATH_MAX, and puts a file with content at the bottom.
inline void MakeChain(const std::string& root, const std::string& name, int levels,
                      const std::string& file, const std::string& content) {
  int fd = open(root.c_str(), O_RDONLY | O_DIRECTORY);
  for (int level = 0; level < levels; ++level) {
    EXPECT_EQ(mkdirat(fd, name.c_str(), 0755), 0) << level;
    const int next = openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY);
    close(fd);
    fd = next;
  }
  const int file_fd = openat(fd, file.c_str(), O_CREAT | O_WRONLY, 0644);
  EXPECT_EQ(write(file_fd, content.data(), content.size()), std::ssize(content));
  close(file_fd);
  close(fd);
}
inline struct stat LStat(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(lstat(path.c_str(), &st), 0) << path;
  return st;
}
// Sorted names in a folder; none when it cannot be read.
inline std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec))
    names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace kestrel::test
