#pragma once

#include <string>

namespace kestrel {

// The folder that holds "default.ksp", "Kestrel.log" and silent-mode configurations:
// $KESTREL_HOME when set; else the executable's folder when the user may write to it;
// else $XDG_DATA_HOME/kestrel (~/.local/share/kestrel), created on first use.
std::string ResolveProgramFolder();

}  // namespace kestrel
