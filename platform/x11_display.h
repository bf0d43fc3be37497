// The one connection to the X display that the desktop objects share (screen, pointer,
// keys and cursor now; clipboard and tray later). It is opened on first use, its
// descriptor is read on the UI loop so events never pile up, and a shutdown step closes
// it. Without a display (DISPLAY unset, or a server that refuses) connection() is null
// at once and stays null until close(). UI thread only.
#pragma once
#include <cstdint>
#include <functional>

#ifdef _WIN32
// Windows has no X display; the declarations stay so that code asking for one builds and
// is told there is none.
struct xcb_connection_t;
struct xcb_generic_event_t;
#else
#include <xcb/xcb.h>
#endif

namespace kit::platform::x11 {

xcb_connection_t* connection();
// The root window of the default screen (0 without a connection).
uint32_t root_window();
// Adds a listener for the connection's events (called on the UI thread).
void on_event(std::function<void(xcb_generic_event_t*)> listener);
// Hands an event that was read outside the UI loop's reader (by code waiting for one
// particular reply) to the listeners, so nothing else misses it.
void dispatch(xcb_generic_event_t* event);
// Closes the connection and drops the listeners; a later connection() opens it again.
void close();

} // namespace kit::platform::x11
