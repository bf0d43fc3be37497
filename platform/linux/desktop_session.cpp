#include "platform/desktop_session.h"

#include <cstdlib>

#include <systemd/sd-bus.h>

#include "platform/dbus_buses.h"
#include "platform/file.h"
#include "platform/launch.h"
#include "platform/user_dirs.h"
#include "platform/linux/lazy_library.h"

namespace kit::platform {

bool has_display() {
  const char* x = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x && *x) || (wayland && *wayland);
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
  LAZY_SD(sd_bus_error_free)(&error);
}

namespace {
// How long a call waits for the opener's answer before it counts the request as accepted.
constexpr int kOpenerWaitMs = 3000;
// xdg-open's exit code for a file that does not exist.
constexpr int kOpenerNoSuchFile = 2;
} // namespace

std::optional<bool> open_document(const std::string& target) {
  if (target.empty() || !has_display()) return std::nullopt;
  auto r = launch_detached({"xdg-open", target}, {}, kOpenerWaitMs);
  if (!r.started) return std::nullopt;
  return !r.exited || r.exit_code == 0 || r.exit_code == kOpenerNoSuchFile;
}

void open_folder(const std::string& folder) {
  if (!folder.empty() && has_display()) launch_detached({"xdg-open", folder}, {}, 0);
}

void refresh_file_associations() {
  std::string data = user_data_dir();
  if (data.empty()) return;
  std::string apps = data + "applications";
  if (is_directory(apps)) launch_detached({"update-desktop-database", apps}, {}, 0);
}

} // namespace kit::platform
