#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kestrel {

class Functions;

// Exit statuses of the program.
inline constexpr int kExitOk = 0;         // run completed, warnings allowed
inline constexpr int kExitRunFailed = 1;  // run ended through its error handler
inline constexpr int kExitBadInput = 2;   // bad command line or configuration

// Opens the windows once the configuration is loaded; returns the exit status.
using GuiEntry = std::function<int(Functions&)>;

// Start-up after the program-wide objects exist: command line, configuration, then GUI or
// silent mode. Errors are reported under "Functions.Main". A silent run first waits up to
// wait_seconds for the program folder's run lock; without it, it ends with kExitRunFailed.
// Returns the exit status.
int Main(Functions& fn, const std::vector<std::string>& args, const GuiEntry& gui,
         std::int64_t wait_seconds = 0);

}  // namespace kestrel
