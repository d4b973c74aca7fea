#pragma once

#include <grp.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>

// Another user, for the cases where someone else owns part of what Kestrel touches.
namespace kestrel::test {

// A uid and gid that no passwd or group entry names, the same for the whole test program.
struct ForeignIds {
  uid_t uid;
  gid_t gid;
};
inline ForeignIds UnusedIds() {
  static const ForeignIds ids = [] {
    id_t id = 47000;
    while (::getpwuid(id) != nullptr || ::getgrgid(id) != nullptr) ++id;
    return ForeignIds{id, id};
  }();
  return ids;
}

// The name of the user running the tests, as chown takes it.
inline std::string RunningUserName() {
  const struct passwd* pw = ::getpwuid(::getuid());
  return pw != nullptr ? pw->pw_name : std::to_string(::getuid());
}

// Runs body in a forked child that has dropped to UnusedIds() (setgroups, setresgid,
// setresuid). Returns body's result, or -1 when the child could not drop or died.
inline int AsForeignUser(const std::function<int()>& body) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    const ForeignIds ids = UnusedIds();
    if (::setgroups(0, nullptr) != 0 || ::setresgid(ids.gid, ids.gid, ids.gid) != 0 ||
        ::setresuid(ids.uid, ids.uid, ids.uid) != 0)
      ::_exit(255);
    ::_exit(body() & 0xFF);
  }
  int status = 0;
  if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status) == 255 ? -1 : WEXITSTATUS(status);
}

}  // namespace kestrel::test
