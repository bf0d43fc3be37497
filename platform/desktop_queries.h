// Screen, pointer, keys and cursor of the user's desktop: the X display on Linux
// (linux/x11_desktop.cpp), the Win32 calls on Windows. Every query answers nothing at once
// when there is no desktop.
#pragma once
#include <cstdint>
#include <optional>
#include <utility>

namespace kit::platform::desktop {

struct rect {
  int32_t left, top, right, bottom;
};

// Whether a desktop answers (on Linux: the display connection opens).
bool available();
std::optional<std::pair<int32_t, int32_t>> pointer_position();
// The primary monitor (on X: RandR's primary output, else the first monitor, else the root
// window).
std::optional<rect> primary_screen();
// The work area of the monitor nearest the point: the monitor less the task bars and panels
// (on X: the desktop's _NET_WORKAREA within that monitor, or the whole monitor when the
// window manager publishes none).
std::optional<rect> work_area(int32_t x, int32_t y);
enum class full_screen { no, yes, desktop };
// Whether the active window covers the primary screen. desktop: the active window is the
// desktop itself, or (on X) a full-screen window of the file manager that draws the desktop.
std::optional<full_screen> active_window_full_screen();
// The key (or mouse button) of a virtual-key code is down.
bool key_down(int64_t vk);
// The key-state value: the high bit (as a negative 16-bit number) when down, bit 0 when a
// lock key is on.
int16_t key_state(int64_t vk);
void show_cursor(bool show);

} // namespace kit::platform::desktop
