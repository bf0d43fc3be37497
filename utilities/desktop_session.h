// What the shell object knows of the user's desktop session: whether there is a display
// to open documents on, and the requests that go to the session's services.
#pragma once

namespace kit::utilities {

// True when DISPLAY or WAYLAND_DISPLAY names a display.
bool has_display();
// Writes one line to standard error the first time a desktop method finds no desktop.
void note_no_desktop(const char* what);
// Asks the login manager on the system bus to restart the machine; does nothing when
// there is no system bus.
void request_reboot();

} // namespace kit::utilities
