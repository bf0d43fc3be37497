// The session bus and the system bus that the desktop objects share (file chooser and
// reboot now; the tray icon later). Each is opened on first use, its descriptor is read on
// the UI loop, and a shutdown step closes both. A bus that cannot be reached gives null
// at once and is not tried again until close(). UI thread only.
#pragma once

struct sd_bus;

namespace kit::platform::dbus {

sd_bus* session_bus();
sd_bus* system_bus();
void close();

} // namespace kit::platform::dbus
