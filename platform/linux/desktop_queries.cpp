// The desktop's queries on Linux: the X display's.
#include "platform/desktop_queries.h"

#include "platform/x11_desktop.h"
#include "platform/x11_display.h"

namespace kit::platform::desktop {

namespace {
std::optional<rect> converted(const std::optional<x11::rect>& r) {
  if (!r) return std::nullopt;
  return rect{r->left, r->top, r->right, r->bottom};
}
} // namespace

bool available() { return x11::connection() != nullptr; }
std::optional<std::pair<int32_t, int32_t>> pointer_position() { return x11::pointer_position(); }
std::optional<rect> primary_screen() { return converted(x11::primary_screen()); }
std::optional<rect> work_area(int32_t x, int32_t y) { return converted(x11::work_area(x, y)); }

std::optional<full_screen> active_window_full_screen() {
  auto state = x11::active_window_full_screen();
  if (!state) return std::nullopt;
  return *state == x11::full_screen::yes ? full_screen::yes
         : *state == x11::full_screen::desktop ? full_screen::desktop
                                                : full_screen::no;
}

bool key_down(int64_t vk) { return x11::key_down(vk); }
int16_t key_state(int64_t vk) { return x11::key_state(vk); }
void show_cursor(bool show) { x11::show_cursor(show); }

} // namespace kit::platform::desktop
