#include "platform/program_runner.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

extern char** environ;

namespace kestrel {
namespace {

class PosixProgramRunner final : public ProgramRunner {
 public:
  int Run(const std::vector<std::string>& argv, std::string* output) override {
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    int pipe_fds[2] = {-1, -1};
    if (output != nullptr && ::pipe2(pipe_fds, O_CLOEXEC) != 0) return 127;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (output != nullptr) {
      posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDOUT_FILENO);
      posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDERR_FILENO);
    }
    pid_t pid = -1;
    const int err = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (output != nullptr) {
      ::close(pipe_fds[1]);
      char buf[4096];
      for (ssize_t n; (n = ::read(pipe_fds[0], buf, sizeof buf)) != 0;) {
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) break;
        output->append(buf, static_cast<size_t>(n));
      }
      ::close(pipe_fds[0]);
    }
    if (err != 0) return 127;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
      if (errno != EINTR) return 127;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
};

}  // namespace

ProgramRunner& RealProgramRunner() {
  static PosixProgramRunner runner;
  return runner;
}

}  // namespace kestrel
