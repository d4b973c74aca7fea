#include "ui/gui.h"

#include <cstdio>

namespace kestrel {

int RunGui(Functions&, int, char**) {
  std::fputs("kestrel: GUI mode is not available in this build; use -s:<configfile>\n", stderr);
  return 2;
}

}  // namespace kestrel
