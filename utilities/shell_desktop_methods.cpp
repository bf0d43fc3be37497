// Win32Shell.Object: dialogs, pointer, keys and screen. Without a desktop each gives its
// empty result at once.
#include "host/script_bridge.h"
#include "platform/desktop_queries.h"
#include "platform/desktop_session.h"
#include "utilities/file_dialog.h"
#include "utilities/path_text.h"
#include "utilities/win32_shell_methods.h"

namespace kit::utilities::shell {
using platform::has_display;
using platform::note_no_desktop;
using platform::request_reboot;
namespace desktop = platform::desktop;


namespace {
// The display answers; without one the first call writes a line and every call gives its
// empty result.
template <class T>
bool have(const std::optional<T>& value) {
  if (!value) note_no_desktop("display");
  return value.has_value();
}

bool display_present() {
  if (desktop::available()) return true;
  note_no_desktop("display");
  return false;
}

void push_rect(lua_State* L, const desktop::rect& r) {
  lua_pushnumber(L, r.left);
  lua_pushnumber(L, r.top);
  lua_pushnumber(L, r.right);
  lua_pushnumber(L, r.bottom);
}
} // namespace

// The chosen paths; an empty array when cancelled. Multi-select always opens.
int FileDialog(lua_State* L) {
  if (!is_shell(L)) return 0;
  file_dialog_request request;
  request.open = lua_toboolean(L, 2);
  request.filter = check_text(L, 3);
  request.default_ext = kit::script::to_string(L, 4);
  request.initial_name = native_path(kit::script::to_string(L, 5));
  request.multiple = lua_toboolean(L, 6);
  if (request.multiple) request.open = true;
  if (request.initial_name.find('/') != std::string::npos)
    request.initial_folder = nearest_existing_folder(path_dir(request.initial_name));
  std::vector<std::string> chosen = choose_files(request);
  lua_createtable(L, static_cast<int>(chosen.size()), 0);
  for (size_t i = 0; i < chosen.size(); ++i) {
    kit::script::push_string(L, chosen[i]);
    lua_rawseti(L, -2, static_cast<int>(i + 1));
  }
  return 1;
}

// The chosen folder, or "" when cancelled. The dialog starts at the nearest existing
// folder of the one given.
int FolderDialog(lua_State* L) {
  if (!is_shell(L)) return 0;
  file_dialog_request request;
  request.directory = true;
  request.title = kit::script::to_string(L, 2);
  std::string initial = kit::script::to_string(L, 3);
  if (!initial.empty()) request.initial_folder = nearest_existing_folder(initial);
  std::vector<std::string> chosen = choose_files(request);
  kit::script::push_string(L, chosen.empty() ? std::string() : chosen.front());
  return 1;
}

int GetCursorPos(lua_State* L) {
  if (!is_shell(L)) return 0;
  auto p = desktop::pointer_position();
  if (!have(p)) return 0;
  lua_pushnumber(L, p->first);
  lua_pushnumber(L, p->second);
  return 2;
}

// The point is (1, 1) unless both coordinates are given.
int GetWorkArea(lua_State* L) {
  if (!is_shell(L)) return 0;
  int32_t x = 1, y = 1;
  if (lua_isnumber(L, 2) && lua_isnumber(L, 3)) {
    x = static_cast<int32_t>(kit::engine::to_int64(lua_tonumber(L, 2)));
    y = static_cast<int32_t>(kit::engine::to_int64(lua_tonumber(L, 3)));
  }
  auto area = desktop::work_area(x, y);
  if (!have(area)) return 0;
  push_rect(L, *area);
  return 4;
}

int IsKeyDown(lua_State* L) {
  if (!is_shell(L)) return 0;
  int64_t vk = kit::engine::check_int64(L, 2);
  lua_pushboolean(L, display_present() && desktop::key_down(vk));
  return 1;
}

int GetKeyState(lua_State* L) {
  if (!is_shell(L)) return 0;
  int64_t vk = kit::engine::check_int64(L, 2);
  lua_pushnumber(L, display_present() ? desktop::key_state(vk) : 0);
  return 1;
}

int GetAsyncKeyState(lua_State* L) {
  if (!is_shell(L)) return 0;
  int64_t vk = kit::engine::check_int64(L, 2);
  lua_pushboolean(L, display_present() && desktop::key_down(vk));
  return 1;
}

int ShowCursor(lua_State* L) {
  if (!is_shell(L)) return 0;
  if (display_present()) desktop::show_cursor(lua_toboolean(L, 2));
  return 0;
}

int GetScreenSize(lua_State* L) {
  if (!is_shell(L)) return 0;
  auto screen = desktop::primary_screen();
  if (!have(screen)) return 0;
  lua_pushnumber(L, screen->right - screen->left);
  lua_pushnumber(L, screen->bottom - screen->top);
  return 2;
}

// true for another program's full-screen window, nothing for the desktop (or the file
// manager drawing it), false otherwise.
int IsNowFullScreen(lua_State* L) {
  if (!is_shell(L)) return 0;
  auto state = desktop::active_window_full_screen();
  if (!have(state)) {
    lua_pushboolean(L, 0);
    return 1;
  }
  if (*state == desktop::full_screen::desktop) return 0;
  lua_pushboolean(L, *state == desktop::full_screen::yes);
  return 1;
}

} // namespace kit::utilities::shell
