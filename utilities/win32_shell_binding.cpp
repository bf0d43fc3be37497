#include "utilities/win32_shell_object.h"

#include <chrono>
#include <thread>

#include "host/script_bridge.h"
#include "host/owned_objects.h"
#include "host/script_bridge.h"
#include "utilities/script_bindings.h"
#include "platform/process_info.h"
#include "platform/ui_loop.h"
#include "utilities/async_unzip.h"
#include "archive/extract_archive.h"
#include "utilities/registry_store.h"
#include "utilities/win32_shell_methods.h"

template <>
struct kit::script::script_class<CLuaWin32Shell> {
  static constexpr const char* name = "Win32Shell.Class";
};

namespace kit::utilities::shell {

CLuaWin32Shell* shell(lua_State* L) { return kit::script::self<CLuaWin32Shell>(L); }
bool is_shell(lua_State* L) { return shell(L) != nullptr; }

std::string check_text(lua_State* L, int idx) {
  size_t n = 0;
  const char* s = luaL_checklstring(L, idx, &n);
  return std::string(s, n);
}

} // namespace kit::utilities::shell

namespace {
using kit::utilities::shell::is_shell;

// Ends the message loop; shutdown follows once the current handler returns. A number
// given is the status the process exits with.
int PostQuitMessage(lua_State* L) {
  if (!is_shell(L)) return 0;
  if (lua_isnumber(L, 2)) kit::platform::ui_loop::instance().set_exit_code(static_cast<int>(lua_tointeger(L, 2)) & 0xFF);
  kit::platform::ui_loop::instance().stop();
  return 0;
}

int GetTickCount(lua_State* L) {
  if (!is_shell(L)) return 0;
  lua_pushnumber(L, kit::platform::tick_count());
  return 1;
}

// Whether standard output (fd 1), or the descriptor given (0 for standard input), is a
// terminal: console scripts then redraw progress in place and ask before risky work;
// piped or redirected output gets whole lines instead.
int IsTerminal(lua_State* L) {
  if (!is_shell(L)) return 0;
  int fd = lua_isnumber(L, 2) ? static_cast<int>(lua_tointeger(L, 2)) : 1;
  lua_pushboolean(L, (fd == 0 || fd == 1 || fd == 2) && kit::platform::is_terminal(fd));
  return 1;
}

// The width of the terminal standard output is, in columns; 0 when it is none.
int GetConsoleWidth(lua_State* L) {
  if (!is_shell(L)) return 0;
  lua_pushinteger(L, kit::platform::terminal_columns());
  return 1;
}

int Sleep(lua_State* L) {
  if (!is_shell(L)) return 0;
  int64_t ms = kit::engine::to_delay_ms(luaL_checknumber(L, 2));
  if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  return 0;
}

// UnZip(archive, destination) -> boolean, on the UI thread.
int UnZip(lua_State* L) {
  if (!is_shell(L)) return 0;
  std::string archive = luaL_checkstring(L, 2);
  std::string destination = luaL_checkstring(L, 3);
  lua_pushboolean(L, kit::archive::extract_archive(archive, destination, {}));
  return 1;
}

// AsyncUnzip(archive, destination[, function]) -> 0 at once; the function later receives
// 0 or the failure code.
int AsyncUnzip(lua_State* L) {
  if (!is_shell(L)) return 0;
  std::string archive = luaL_checkstring(L, 2);
  std::string destination = luaL_checkstring(L, 3);
  kit::utilities::queue_unzip(archive, destination, LuaAsynFunctionCallback::Create(L, 4));
  lua_pushinteger(L, 0);
  return 1;
}

using namespace kit::utilities::shell;

// In the order of the object's method list.
const UIS_Method kMethods[] = {
    {"FileDialog", FileDialog, 0},
    {"PostQuitMessage", PostQuitMessage, 0},
    {"GetTickCount", GetTickCount, 0},
    {"IsTerminal", IsTerminal, 0},
    {"GetConsoleWidth", GetConsoleWidth, 0},
    {"GetTmpDir", GetTmpDir, 0},
    {"Rename", Rename, 0},
    {"OpenDir", OpenDir, 0},
    {"DeletePathFile", DeletePathFile, 0},
    {"ReadINIInteger", ReadINIInteger, 0},
    {"ReadINIString", ReadINIString, 0},
    {"Sleep", Sleep, 0},
    {"DeleteRegKey", DeleteRegKey, 0},
    {"CreateRegKey", CreateRegKey, 0},
    {"SetRegValue", SetRegValue, 0},
    {"QueryRegValue", QueryRegValue, 0},
    {"RefreshIcon", RefreshIcon, 0},
    {"RebootMachine", RebootMachine, 0},
    {"GetCursorPos", GetCursorPos, 0},
    {"GetWorkArea", GetWorkArea, 0},
    {"ShellExecute", ShellExecute, 0},
    {"IsKeyDown", IsKeyDown, 0},
    {"FolderDialog", FolderDialog, 0},
    {"ShellOpen", ShellOpen, 0},
    {"EnumFile", EnumFile, 0},
    {"UnZip", UnZip, 0},
    {"GetExtFiles", GetExtFiles, 0},
    {"SplitString", SplitString, 0},
    {"GetDirSize", GetDirSize, 0},
    {"AsyncUnzip", AsyncUnzip, 0},
    {"ShowCursor", ShowCursor, 0},
    {"MessageBox", MessageBox, 0},
    {"GetProcessList", GetProcessList, 0},
    {"TerminateProcess", TerminateProcess, 0},
    {"CopyFile", CopyFile, 0},
    {"GetAsyncKeyState", GetAsyncKeyState, 0},
    {"GetKeyState", GetKeyState, 0},
    {"WriteINI", WriteINI, 0},
    {"GetScreenSize", GetScreenSize, 0},
    {"IsNowFullScreen", IsNowFullScreen, 0},
    {nullptr, nullptr, 0},
};

void* getter(void*) { return kit::host::owned<CLuaWin32Shell>(); }
} // namespace

void kit::utilities::register_win32_shell(UIS_Env* env) {
  if (!env) return;
  UIS_RegisterGlobalObj(env, UIS_GlobalObjRecord{getter, nullptr, "Win32Shell.Object", kit::script::script_class<CLuaWin32Shell>::name, kMethods, nullptr});
}
