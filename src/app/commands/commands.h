#pragma once

#include <vector>

#include "app/main_routine.h"

namespace kestrel {

// The commands of the long command line, one per command option; a line naming none of them
// is a silent run.
std::vector<LongCommand> Commands();

}  // namespace kestrel
