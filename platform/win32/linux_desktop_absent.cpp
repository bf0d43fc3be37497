// The Linux desktop's services (the X display, the message buses) do not exist on
// Windows. The Windows build answers through them as a Linux machine without a desktop
// does: nothing is there, at once. The Windows forms of the desktop services are separate
// (win32_clipboard.h, file_type_icons.h, setupapi_devices.h, status_notifier.cpp,
// desktop_queries.cpp, file_chooser.cpp) and take their place in the objects that use them.
#include "platform/dbus_buses.h"
#include "platform/x11_display.h"

namespace kit::platform {

namespace x11 {
xcb_connection_t* connection() { return nullptr; }
uint32_t root_window() { return 0; }
void on_event(std::function<void(xcb_generic_event_t*)>) {}
void dispatch(xcb_generic_event_t*) {}
void close() {}
} // namespace x11

namespace dbus {
sd_bus* session_bus() { return nullptr; }
sd_bus* system_bus() { return nullptr; }
void close() {}
} // namespace dbus

} // namespace kit::platform
