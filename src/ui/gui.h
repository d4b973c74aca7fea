#pragma once

namespace kestrel {

class Functions;

// GUI mode: the About box, then the main window, until it closes. Returns the exit status.
int RunGui(Functions& fn, int argc, char** argv);

}  // namespace kestrel
