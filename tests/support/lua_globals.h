// In-process access to the engine's Lua state for component tests.
#pragma once
#include <string>

#include "engine/ui_engine.h"

namespace testsupport {

inline lua_State* lua_state() { return UIS_GetLuaState(UIS_GetRuntime(UIS_GetEnv(nullptr), nullptr)); }

// The global's value as a string ("" when it is not a string or number).
inline std::string global_string(const char* name) {
  lua_State* L = lua_state();
  lua_getglobal(L, name);
  const char* s = lua_tostring(L, -1);
  std::string out = s ? s : "";
  lua_pop(L, 1);
  return out;
}

} // namespace testsupport
