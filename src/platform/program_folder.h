#pragma once

#include <string>

namespace kestrel {

// The folder that holds "default.ksp", "Kestrel.log" and silent-mode configurations:
// $KESTREL_HOME when set; else, for a copy run from its build tree only, the executable's
// folder when the user may write to it; else $XDG_DATA_HOME/kestrel (~/.local/share/kestrel),
// created on first use. An installed Kestrel never uses its install folder.
std::string ResolveProgramFolder();
// The window program: beside the running executable in its build tree; installed, where it
// was installed (beside the executable when that path does not exist, as in an unpacked
// package).
std::string WindowProgramPath();
// The read-only data Kestrel ships (the file-manager scripts): the source tree's data/ for a
// build-tree copy; installed, the data folder (share/kestrel beside bin/ when that path does
// not exist, as in an unpacked package).
std::string DataFolder();

}  // namespace kestrel
