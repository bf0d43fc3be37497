// The desktop's queries on Windows: cursor, monitors, the foreground window and the keys.
#include "platform/desktop_queries.h"

#include <windows.h>

namespace kit::platform::desktop {

namespace {
rect converted(const RECT& r) { return rect{r.left, r.top, r.right, r.bottom}; }

bool valid_key(int64_t vk) { return vk > 0 && vk < 256; }
} // namespace

bool available() { return ::GetDesktopWindow() != nullptr; }

std::optional<std::pair<int32_t, int32_t>> pointer_position() {
  POINT p;
  if (!::GetCursorPos(&p)) return std::nullopt;
  return std::make_pair(static_cast<int32_t>(p.x), static_cast<int32_t>(p.y));
}

std::optional<rect> primary_screen() {
  int width = ::GetSystemMetrics(SM_CXSCREEN), height = ::GetSystemMetrics(SM_CYSCREEN);
  if (width <= 0 || height <= 0) return std::nullopt;
  return rect{0, 0, width, height};
}

std::optional<rect> work_area(int32_t x, int32_t y) {
  MONITORINFO info{};
  info.cbSize = sizeof info;
  HMONITOR monitor = ::MonitorFromPoint(POINT{x, y}, MONITOR_DEFAULTTONEAREST);
  if (!monitor || !::GetMonitorInfoW(monitor, &info)) return std::nullopt;
  return converted(info.rcWork);
}

std::optional<full_screen> active_window_full_screen() {
  HWND active = ::GetForegroundWindow();
  if (!active) return full_screen::no;
  if (active == ::GetDesktopWindow() || active == ::GetShellWindow()) return full_screen::desktop;
  wchar_t name[32] = {};
  ::GetClassNameW(active, name, 32);
  // The shell draws the desktop in these windows.
  if (lstrcmpW(name, L"Progman") == 0 || lstrcmpW(name, L"WorkerW") == 0) return full_screen::desktop;
  RECT window{};
  MONITORINFO info{};
  info.cbSize = sizeof info;
  HMONITOR monitor = ::MonitorFromWindow(active, MONITOR_DEFAULTTOPRIMARY);
  if (!::GetWindowRect(active, &window) || !monitor || !::GetMonitorInfoW(monitor, &info)) return std::nullopt;
  bool covers = window.left <= info.rcMonitor.left && window.top <= info.rcMonitor.top &&
                window.right >= info.rcMonitor.right && window.bottom >= info.rcMonitor.bottom;
  return covers ? full_screen::yes : full_screen::no;
}

bool key_down(int64_t vk) { return valid_key(vk) && (::GetAsyncKeyState(static_cast<int>(vk)) & 0x8000) != 0; }

int16_t key_state(int64_t vk) { return valid_key(vk) ? ::GetKeyState(static_cast<int>(vk)) : 0; }

void show_cursor(bool show) { ::ShowCursor(show ? TRUE : FALSE); }

} // namespace kit::platform::desktop
