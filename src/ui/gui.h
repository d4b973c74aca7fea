#pragma once

namespace kestrel {

class Functions;

// Returned by RunGui when there is no display to open a window on; nothing was shown.
inline constexpr int kNoDisplay = 3;

// GUI mode: the About box, then the main window, until it closes. Returns the exit status of
// the event loop, 1 when start-up failed (reported under "Functions.Main"), or kNoDisplay.
// Meanwhile the program's error reports also show in message boxes, from any thread.
int RunGui(Functions& fn, int argc, char** argv);

// Returns true iff a window can be opened: QT_QPA_PLATFORM, DISPLAY or WAYLAND_DISPLAY is set.
bool DisplayAvailable();

}  // namespace kestrel
