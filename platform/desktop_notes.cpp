// The one line a desktop method writes when it finds no desktop, the same on every system.
#include <cstdio>

#include "platform/desktop_session.h"

namespace kit::platform {

void note_no_desktop(const char* what) {
  static bool noted = false;
  if (noted) return;
  noted = true;
  std::fprintf(stderr, "desktop: no %s; desktop methods return empty results\n", what);
}

} // namespace kit::platform
