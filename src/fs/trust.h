#pragma once

#include <sys/types.h>

#include <string>

#include "fs/sys.h"

namespace kestrel {

// What Kestrel trusts (the program folder, its run lock, the journal folder and each journal)
// must belong to the running user and be writable by no one else, as OpenSSH's StrictModes asks
// of a user's keys: another user who could write there could forge a journal or hold the lock.

// The refusal for path whose status is st: "PATH must belong to USER and be writable by no one
// else (chown USER PATH; chmod go-w PATH)", or empty when uid owns it alone.
std::string Distrust(const std::string& path, const struct stat& st, uid_t uid);

// The refusal for the first of the program folder, its "journal" folder and each entry of that
// folder that fails the rule; empty when all pass or are not there yet.
std::string ProgramFolderDistrust(Sys& sys, const std::string& program_folder);

}  // namespace kestrel
