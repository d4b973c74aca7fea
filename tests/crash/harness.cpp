#include "harness.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

#include "crash_sys.h"

namespace kestrel::crash {
namespace {

// Runs body in a child; returns its exit status (-1 when it did not exit).
int InChild(const std::function<int()>& body) {
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) _exit(body());
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

}  // namespace

Outcome CrashAtEveryStep(const Operation& op, Sys& base) {
  Outcome out;
  const auto fault = [&](long n, const std::string& when, const std::string& what) {
    out.faults.push_back(op.name + ", crash before call " + std::to_string(n) + ", " + when + ": " +
                         what);
  };
  // The count comes back through a pipe; the run itself must hold the invariants.
  int fds[2];
  if (pipe(fds) != 0) return out.faults.push_back(op.name + ": pipe"), out;
  op.setup();
  const int status = InChild([&] {
    CrashSys counting(base, 0);
    op.run(counting);
    const long calls = counting.Calls();
    return write(fds[1], &calls, sizeof calls) == sizeof calls ? 0 : 1;
  });
  close(fds[1]);
  if (status != 0 || read(fds[0], &out.points, sizeof out.points) != sizeof out.points)
    out.faults.push_back(op.name + ": the operation did not finish without a crash");
  close(fds[0]);
  if (const std::string f = op.check(true); !f.empty()) fault(0, "after the whole operation", f);
  if (const std::string f = op.done(); !f.empty()) fault(0, "after the whole operation", f);

  for (long n = 1; n <= out.points; ++n) {
    op.setup();
    const int cut = InChild([&] {
      CrashSys crashing(base, n);
      op.run(crashing);
      return 0;
    });
    if (cut != kCrashed && cut != 0)
      fault(n, "the operation", "exit status " + std::to_string(cut));
    if (const std::string f = op.check(false); !f.empty()) fault(n, "after the crash", f);
    const int rec = InChild([&] {
      op.recover(base);
      return 0;
    });
    if (rec != 0) fault(n, "the recovery", "exit status " + std::to_string(rec));
    if (const std::string f = op.check(true); !f.empty()) fault(n, "after the recovery", f);
  }
  return out;
}

}  // namespace kestrel::crash
