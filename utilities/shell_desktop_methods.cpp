// Win32Shell.Object: dialogs, pointer, keys and screen. Without a desktop each gives its
// empty result at once.
#include "host/script_bridge.h"
#include "utilities/desktop_session.h"
#include "utilities/win32_shell_methods.h"

namespace kit::utilities::shell {

int FileDialog(lua_State* L) {
  if (!is_shell(L)) return 0;
  note_no_desktop("session bus");
  lua_newtable(L);
  return 1;
}

int FolderDialog(lua_State* L) {
  if (!is_shell(L)) return 0;
  note_no_desktop("session bus");
  lua_pushstring(L, "");
  return 1;
}

int GetCursorPos(lua_State* L) {
  if (!is_shell(L)) return 0;
  note_no_desktop("display");
  return 0;
}

int GetWorkArea(lua_State* L) {
  if (!is_shell(L)) return 0;
  note_no_desktop("display");
  return 0;
}

int IsKeyDown(lua_State* L) {
  if (!is_shell(L)) return 0;
  note_no_desktop("display");
  lua_pushboolean(L, 0);
  return 1;
}

int GetKeyState(lua_State* L) {
  if (!is_shell(L)) return 0;
  note_no_desktop("display");
  lua_pushnumber(L, 0);
  return 1;
}

int GetAsyncKeyState(lua_State* L) {
  if (!is_shell(L)) return 0;
  note_no_desktop("display");
  lua_pushboolean(L, 0);
  return 1;
}

int ShowCursor(lua_State* L) {
  if (!is_shell(L)) return 0;
  note_no_desktop("display");
  return 0;
}

int GetScreenSize(lua_State* L) {
  if (!is_shell(L)) return 0;
  note_no_desktop("display");
  return 0;
}

int IsNowFullScreen(lua_State* L) {
  if (!is_shell(L)) return 0;
  note_no_desktop("display");
  lua_pushboolean(L, 0);
  return 1;
}

} // namespace kit::utilities::shell
