#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>

#include "fs/sys.h"

namespace kestrel {

// Kestrel's own temporaries: hidden names ".kestrel-XXXXXXXXXX.tmp" beside what they become,
// each locked (flock) by the process writing it, so that one a killed process left behind can
// be told from one in use.

// A fresh name of the temporaries' pattern.
std::string TempName();
// Returns true iff name has the pattern of a Kestrel temporary, older versions' included.
bool IsTempName(std::string_view name);
// Marks the new temporary fd as in use. Returns 0, EAGAIN when a sweep removed it before the
// lock (the caller takes another name), or the errno.
int LockTemp(Sys& sys, int fd);
// Removes the stale temporaries in the open folder dir: Kestrel's names, owned by this user,
// files or folders that no process holds locked. A temporary that cannot be removed stays for
// the next sweep.
void SweepTemporaries(Sys& sys, int dir);

// Returns true iff err says the file system has no anonymous files (O_TMPFILE).
bool NoAnonymousFiles(int err);
// An anonymous file in the folder dir, opened for writing with mode. Returns the descriptor,
// or -1 with errno.
int OpenAnonymous(Sys& sys, int dir, mode_t mode);
// Gives the anonymous file fd the name in dir. Returns 0, or the errno (EEXIST: name taken;
// ENOTSUP: it cannot be named here, as without /proc, so a named temporary must do).
int LinkAnonymous(Sys& sys, int fd, int dir, const std::string& name);

}  // namespace kestrel
