// The desktop's queries on Linux: the X display's screen, pointer, keys and cursor (through
// the shared connection). Every query answers nothing at once when there is no display.
#include "platform/desktop_queries.h"

#include <unistd.h>
#include <xcb/randr.h>
#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/x11_display.h"
#include "platform/virtual_keys.h"
#include "platform/linux/lazy_library.h"

namespace kit::platform::desktop {
namespace {

template <class T>
struct free_deleter {
  void operator()(T* p) const { std::free(p); }
};
template <class T>
using reply_ptr = std::unique_ptr<T, free_deleter<T>>;

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
  reply_ptr<xcb_intern_atom_reply_t> r(
      LAZY_XCB(xcb_intern_atom_reply)(c, LAZY_XCB(xcb_intern_atom)(c, 1, static_cast<uint16_t>(std::strlen(name)), name), nullptr));
  return r ? r->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

// The 32-bit items of a window property (at most max_items).
std::vector<uint32_t> property32(xcb_connection_t* c, xcb_window_t w, const char* name, uint32_t max_items = 64) {
  xcb_atom_t a = atom(c, name);
  if (a == XCB_ATOM_NONE) return {};
  reply_ptr<xcb_get_property_reply_t> r(
      LAZY_XCB(xcb_get_property_reply)(c, LAZY_XCB(xcb_get_property)(c, 0, w, a, XCB_GET_PROPERTY_TYPE_ANY, 0, max_items), nullptr));
  if (!r || r->format != 32) return {};
  auto* data = static_cast<uint32_t*>(LAZY_XCB(xcb_get_property_value)(r.get()));
  int n = LAZY_XCB(xcb_get_property_value_length)(r.get()) / 4;
  return std::vector<uint32_t>(data, data + (n > 0 ? n : 0));
}

std::optional<rect> root_rect(xcb_connection_t* c) {
  reply_ptr<xcb_get_geometry_reply_t> g(
      LAZY_XCB(xcb_get_geometry_reply)(c, LAZY_XCB(xcb_get_geometry)(c, kit::platform::x11::root_window()), nullptr));
  if (!g) return std::nullopt;
  return rect{0, 0, g->width, g->height};
}

bool has_randr(xcb_connection_t* c) {
  if (!lazy::available(lazy::library::xcb_randr)) return false;
  const xcb_query_extension_reply_t* ext = LAZY_XCB(xcb_get_extension_data)(
      c, static_cast<xcb_extension_t*>(lazy::symbol(lazy::library::xcb_randr, "xcb_randr_id")));
  if (!ext || !ext->present) return false;
  reply_ptr<xcb_randr_query_version_reply_t> v(
      LAZY_XCB_RANDR(xcb_randr_query_version_reply)(c, LAZY_XCB_RANDR(xcb_randr_query_version)(c, 1, 5), nullptr));
  return v && (v->major_version > 1 || v->minor_version >= 5);
}

// The active monitors, the primary one first.
std::vector<rect> monitors(xcb_connection_t* c) {
  std::vector<rect> out;
  if (!has_randr(c)) return out;
  reply_ptr<xcb_randr_get_monitors_reply_t> r(
      LAZY_XCB_RANDR(xcb_randr_get_monitors_reply)(c, LAZY_XCB_RANDR(xcb_randr_get_monitors)(c, kit::platform::x11::root_window(), 1), nullptr));
  if (!r) return out;
  for (auto it = LAZY_XCB_RANDR(xcb_randr_get_monitors_monitors_iterator)(r.get()); it.rem; LAZY_XCB_RANDR(xcb_randr_monitor_info_next)(&it)) {
    rect m{it.data->x, it.data->y, it.data->x + it.data->width, it.data->y + it.data->height};
    if (it.data->primary) out.insert(out.begin(), m);
    else out.push_back(m);
  }
  return out;
}

int64_t distance2(const rect& r, int32_t x, int32_t y) {
  int64_t dx = x < r.left ? r.left - x : (x >= r.right ? x - r.right + 1 : 0);
  int64_t dy = y < r.top ? r.top - y : (y >= r.bottom ? y - r.bottom + 1 : 0);
  return dx * dx + dy * dy;
}

// The program name of a window's process (_NET_WM_PID), when it runs on this machine.
std::string program_of_window(xcb_connection_t* c, xcb_window_t w) {
  std::vector<uint32_t> pid = property32(c, w, "_NET_WM_PID", 1);
  if (pid.empty() || pid[0] == 0) return {};
  char target[PATH_MAX];
  std::string link = "/proc/" + std::to_string(pid[0]) + "/exe";
  ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
  if (n <= 0) return {};
  std::string path(target, static_cast<size_t>(n));
  return path.substr(path.rfind('/') + 1);
}

// File managers that draw the desktop: their full-screen windows are the desktop.
bool is_desktop_file_manager(const std::string& program) {
  for (const char* name : {"nautilus", "nemo", "nemo-desktop", "caja", "pcmanfm", "pcmanfm-qt", "thunar", "xfdesktop",
                           "dolphin", "plasmashell", "desktop-icons-ng", "ding"})
    if (program == name) return true;
  return false;
}

// The keycodes that carry one of the key symbols.
std::vector<xcb_keycode_t> keycodes_of(xcb_connection_t* c, const std::vector<uint32_t>& syms) {
  std::vector<xcb_keycode_t> out;
  if (syms.empty()) return out;
  const xcb_setup_t* setup = LAZY_XCB(xcb_get_setup)(c);
  uint8_t first = setup->min_keycode;
  uint8_t count = static_cast<uint8_t>(setup->max_keycode - setup->min_keycode + 1);
  reply_ptr<xcb_get_keyboard_mapping_reply_t> m(
      LAZY_XCB(xcb_get_keyboard_mapping_reply)(c, LAZY_XCB(xcb_get_keyboard_mapping)(c, first, count), nullptr));
  if (!m || m->keysyms_per_keycode == 0) return out;
  const xcb_keysym_t* all = LAZY_XCB(xcb_get_keyboard_mapping_keysyms)(m.get());
  int total = LAZY_XCB(xcb_get_keyboard_mapping_keysyms_length)(m.get());
  for (int i = 0; i < total; ++i)
    for (uint32_t s : syms)
      if (all[i] == s) out.push_back(static_cast<xcb_keycode_t>(first + i / m->keysyms_per_keycode));
  return out;
}

std::optional<uint16_t> pointer_buttons(xcb_connection_t* c) {
  reply_ptr<xcb_query_pointer_reply_t> p(
      LAZY_XCB(xcb_query_pointer_reply)(c, LAZY_XCB(xcb_query_pointer)(c, kit::platform::x11::root_window()), nullptr));
  if (!p) return std::nullopt;
  return p->mask;
}

} // namespace

bool available() { return kit::platform::x11::connection() != nullptr; }

std::optional<std::pair<int32_t, int32_t>> pointer_position() {
  xcb_connection_t* c = kit::platform::x11::connection();
  if (!c) return std::nullopt;
  reply_ptr<xcb_query_pointer_reply_t> p(
      LAZY_XCB(xcb_query_pointer_reply)(c, LAZY_XCB(xcb_query_pointer)(c, kit::platform::x11::root_window()), nullptr));
  if (!p) return std::nullopt;
  return std::make_pair<int32_t, int32_t>(p->root_x, p->root_y);
}

std::optional<rect> primary_screen() {
  xcb_connection_t* c = kit::platform::x11::connection();
  if (!c) return std::nullopt;
  std::vector<rect> all = monitors(c);
  if (!all.empty()) return all.front();
  return root_rect(c);
}

std::optional<rect> work_area(int32_t x, int32_t y) {
  xcb_connection_t* c = kit::platform::x11::connection();
  if (!c) return std::nullopt;
  std::vector<rect> all = monitors(c);
  if (all.empty()) {
    auto root = root_rect(c);
    if (!root) return std::nullopt;
    all.push_back(*root);
  }
  rect nearest = all.front();
  for (const rect& m : all)
    if (distance2(m, x, y) < distance2(nearest, x, y)) nearest = m;
  // _NET_WORKAREA holds x, y, width, height for each desktop; the current one counts.
  std::vector<uint32_t> area = property32(c, kit::platform::x11::root_window(), "_NET_WORKAREA", 4 * 64);
  std::vector<uint32_t> current = property32(c, kit::platform::x11::root_window(), "_NET_CURRENT_DESKTOP", 1);
  size_t desktop = current.empty() ? 0 : current[0];
  if (area.size() >= 4 * (desktop + 1)) {
    const uint32_t* a = &area[4 * desktop];
    rect w{static_cast<int32_t>(a[0]), static_cast<int32_t>(a[1]), static_cast<int32_t>(a[0] + a[2]),
           static_cast<int32_t>(a[1] + a[3])};
    rect cut{std::max(w.left, nearest.left), std::max(w.top, nearest.top), std::min(w.right, nearest.right),
             std::min(w.bottom, nearest.bottom)};
    if (cut.left < cut.right && cut.top < cut.bottom) return cut;
  }
  return nearest;
}

std::optional<full_screen> active_window_full_screen() {
  xcb_connection_t* c = kit::platform::x11::connection();
  if (!c) return std::nullopt;
  const xcb_window_t root = kit::platform::x11::root_window();
  // The window manager's active window, else the window holding the keyboard focus.
  xcb_window_t active = XCB_WINDOW_NONE;
  std::vector<uint32_t> net_active = property32(c, root, "_NET_ACTIVE_WINDOW", 1);
  if (!net_active.empty()) active = net_active[0];
  if (active == XCB_WINDOW_NONE) {
    reply_ptr<xcb_get_input_focus_reply_t> f(LAZY_XCB(xcb_get_input_focus_reply)(c, LAZY_XCB(xcb_get_input_focus)(c), nullptr));
    if (f && f->focus != XCB_INPUT_FOCUS_POINTER_ROOT) active = f->focus;
  }
  if (active == XCB_WINDOW_NONE) return full_screen::no;
  if (active == root) return full_screen::desktop;
  xcb_atom_t desktop_type = atom(c, "_NET_WM_WINDOW_TYPE_DESKTOP");
  for (uint32_t type : property32(c, active, "_NET_WM_WINDOW_TYPE"))
    if (type == desktop_type && type != XCB_ATOM_NONE) return full_screen::desktop;

  auto screen = primary_screen();
  reply_ptr<xcb_get_geometry_reply_t> g(LAZY_XCB(xcb_get_geometry_reply)(c, LAZY_XCB(xcb_get_geometry)(c, active), nullptr));
  if (!screen || !g) return full_screen::no;
  reply_ptr<xcb_translate_coordinates_reply_t> t(
      LAZY_XCB(xcb_translate_coordinates_reply)(c, LAZY_XCB(xcb_translate_coordinates)(c, active, root, 0, 0), nullptr));
  if (!t) return full_screen::no;
  bool covers = t->dst_x < 1 && t->dst_y < 1 && t->dst_x + g->width >= screen->right - screen->left &&
                t->dst_y + g->height >= screen->bottom - screen->top;
  xcb_atom_t fullscreen_state = atom(c, "_NET_WM_STATE_FULLSCREEN");
  for (uint32_t state : property32(c, active, "_NET_WM_STATE"))
    if (state == fullscreen_state && state != XCB_ATOM_NONE) covers = true;
  if (!covers) return full_screen::no;
  return is_desktop_file_manager(program_of_window(c, active)) ? full_screen::desktop : full_screen::yes;
}

bool key_down(int64_t vk) {
  xcb_connection_t* c = kit::platform::x11::connection();
  if (!c) return false;
  if (uint16_t button = button_mask_of_virtual_key(vk)) {
    auto mask = pointer_buttons(c);
    return mask && (*mask & button);
  }
  std::vector<xcb_keycode_t> codes = keycodes_of(c, keysyms_of_virtual_key(vk));
  if (codes.empty()) return false;
  reply_ptr<xcb_query_keymap_reply_t> keys(LAZY_XCB(xcb_query_keymap_reply)(c, LAZY_XCB(xcb_query_keymap)(c), nullptr));
  if (!keys) return false;
  for (xcb_keycode_t k : codes)
    if (keys->keys[k / 8] & (1u << (k % 8))) return true;
  return false;
}

int16_t key_state(int64_t vk) {
  xcb_connection_t* c = kit::platform::x11::connection();
  if (!c) return 0;
  int16_t state = key_down(vk) ? static_cast<int16_t>(-128) : 0;  // 0xFF80, the high bit set
  if (int led = lock_led_of_virtual_key(vk); led >= 0) {
    reply_ptr<xcb_get_keyboard_control_reply_t> k(
        LAZY_XCB(xcb_get_keyboard_control_reply)(c, LAZY_XCB(xcb_get_keyboard_control)(c), nullptr));
    if (k && (k->led_mask & (1u << led))) state = static_cast<int16_t>(state | 1);
  }
  return state;
}

void show_cursor(bool show) {
  xcb_connection_t* c = kit::platform::x11::connection();
  if (!c || !lazy::available(lazy::library::xcb_xfixes)) return;
  const xcb_query_extension_reply_t* ext = LAZY_XCB(xcb_get_extension_data)(
      c, static_cast<xcb_extension_t*>(lazy::symbol(lazy::library::xcb_xfixes, "xcb_xfixes_id")));
  if (!ext || !ext->present) return;
  // The version must be asked before any other XFixes request.
  reply_ptr<xcb_xfixes_query_version_reply_t> v(
      LAZY_XCB_XFIXES(xcb_xfixes_query_version_reply)(c, LAZY_XCB_XFIXES(xcb_xfixes_query_version)(c, 4, 0), nullptr));
  if (!v) return;
  xcb_window_t root = kit::platform::x11::root_window();
  if (show) LAZY_XCB_XFIXES(xcb_xfixes_show_cursor)(c, root);
  else LAZY_XCB_XFIXES(xcb_xfixes_hide_cursor)(c, root);
  LAZY_XCB(xcb_flush)(c);
}

} // namespace kit::platform::desktop
