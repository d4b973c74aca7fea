#pragma once

#include <functional>
#include <string>

#include "fs/sys.h"
#include "platform/clock.h"

namespace kestrel::journal {

// Finishes what a crash left in the journals of folder: a move or restore whose outcome is
// missing is checked against the disk. A whole copy at the destination whose source still
// holds the same size and stamp (and bytes) gets its source removed; a .trashinfo written
// for a file that never reached the Trash is removed; a partial copy left in a quarantine
// folder is removed. The source is reached from the recorded include folder by its recorded
// identity without following a link, and removed only when it is the very file recorded; when
// that cannot be known and a copy stands whole, both stay and warn hears of it once. The
// outcome is added to the journal. note receives one line per file settled. Returns the
// number of journals settled.
int Recover(Sys& sys, const Clock& clock, const std::string& folder,
            const std::function<void(const std::string&)>& note,
            const std::function<void(const std::string&)>& warn = {});

}  // namespace kestrel::journal
