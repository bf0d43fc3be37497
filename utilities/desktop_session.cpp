#include "utilities/desktop_session.h"

#include <cstdio>
#include <cstdlib>

namespace kit::utilities {

bool has_display() {
  const char* x = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x && *x) || (wayland && *wayland);
}

void note_no_desktop(const char* what) {
  static bool noted = false;
  if (noted) return;
  noted = true;
  std::fprintf(stderr, "desktop: no %s; desktop methods return empty results\n", what);
}

void request_reboot() { note_no_desktop("system bus"); }

} // namespace kit::utilities
