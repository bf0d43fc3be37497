#include "utilities/win32_shell_object.h"

#include <chrono>
#include <thread>

#include "host/lua_async_callback.h"
#include "host/owned_objects.h"
#include "host/script_bridge.h"
#include "platform/process_info.h"
#include "platform/ui_loop.h"
#include "utilities/async_unzip.h"
#include "utilities/extract_archive.h"

namespace {
CLuaWin32Shell* self(lua_State* L) { return kit::script::self<CLuaWin32Shell>(L, CLuaWin32Shell::kClassName); }

// Ends the message loop; shutdown follows once the current handler returns.
int PostQuitMessage(lua_State* L) {
  if (!self(L)) return 0;
  kit::platform::ui_loop::instance().stop();
  return 0;
}

int GetTickCount(lua_State* L) {
  if (!self(L)) return 0;
  lua_pushnumber(L, kit::platform::tick_count());
  return 1;
}

int Sleep(lua_State* L) {
  if (!self(L)) return 0;
  int64_t ms = kit::script::to_delay_ms(luaL_checknumber(L, 2));
  if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  return 0;
}

// UnZip(archive, destination) -> boolean, on the UI thread.
int UnZip(lua_State* L) {
  if (!self(L)) return 0;
  std::string archive = luaL_checkstring(L, 2);
  std::string destination = luaL_checkstring(L, 3);
  lua_pushboolean(L, kit::archive::extract_archive(archive, destination, {}));
  return 1;
}

// AsyncUnzip(archive, destination[, function]) -> 0 at once; the function later receives
// 0 or the failure code.
int AsyncUnzip(lua_State* L) {
  if (!self(L)) return 0;
  std::string archive = luaL_checkstring(L, 2);
  std::string destination = luaL_checkstring(L, 3);
  kit::archive::queue_unzip(archive, destination, LuaAsynFunctionCallback::Create(L, 4));
  lua_pushinteger(L, 0);
  return 1;
}

const UIS_Method kMethods[] = {
    {"PostQuitMessage", PostQuitMessage, 0},
    {"GetTickCount", GetTickCount, 0},
    {"Sleep", Sleep, 0},
    {"UnZip", UnZip, 0},
    {"AsyncUnzip", AsyncUnzip, 0},
    {nullptr, nullptr, 0},
};

void* getter(void*) { return kit::host::owned<CLuaWin32Shell>(); }
} // namespace

void CLuaWin32Shell::Register(UIS_Env* env) {
  if (!env) return;
  UIS_RegisterGlobalObj(env, UIS_GlobalObjRecord{getter, nullptr, kGlobalName, kClassName, kMethods, nullptr});
}
