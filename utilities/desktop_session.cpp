#include "utilities/desktop_session.h"

#include <cstdio>
#include <cstdlib>

#include <systemd/sd-bus.h>

#include "platform/dbus_buses.h"

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

// logind's Reboot(interactive = false). Nothing else restarts the machine: no system call,
// no command.
void request_reboot() {
  sd_bus* bus = kit::platform::dbus::system_bus();
  if (!bus) {
    note_no_desktop("system bus");
    return;
  }
  sd_bus_error error = SD_BUS_ERROR_NULL;
  sd_bus_call_method(bus, "org.freedesktop.login1", "/org/freedesktop/login1", "org.freedesktop.login1.Manager", "Reboot",
                     &error, nullptr, "b", 0);
  sd_bus_error_free(&error);
}

} // namespace kit::utilities
