#pragma once

#include <string>
#include <vector>

namespace kestrel {

class Functions;

// Returned by RunGui when there is no display to open a window on; nothing was shown.
inline constexpr int kNoDisplay = 3;

// GUI mode: the About box, then the main window, until it closes. Returns the exit status of
// the event loop, 1 when start-up failed (reported under "Functions.Main"), or kNoDisplay.
// Meanwhile the program's error reports also show in message boxes, from any thread.
int RunGui(Functions& fn, int argc, char** argv);

// kestrel-gui --mark FILE...: the mark dialog alone, with the current configuration's prefix
// token. Returns 0 when every file was marked, 1 when cancelled or some could not be,
// 2 without a token, or kNoDisplay.
int RunMarkDialog(Functions& fn, int argc, char** argv, const std::vector<std::string>& files);

// Returns true iff a window can be opened: QT_QPA_PLATFORM, DISPLAY or WAYLAND_DISPLAY is set.
bool DisplayAvailable();

}  // namespace kestrel
