// The engine's own state, shared by its source files only.
#pragma once
#include <map>
#include <string>
#include <vector>

#include "engine/ui_engine.h"

namespace kit::engine {

struct global_object {
  UIS_GlobalObjRecord record;
  void* native = nullptr;  // from the getter, once asked for
  int ref = LUA_NOREF;     // the script-side object, once made
};

struct state {
  lua_State* L = nullptr;
  std::map<std::string, global_object> globals;
  std::vector<std::string> search_paths;
};

// The engine, created with its Lua state on first use.
state& get();

// Installs the script-visible helpers (GetObject, SetTimer, KillTimer, ReadConsole, print).
void install_builtins(lua_State* L);
void install_timers(lua_State* L);
void install_console(lua_State* L);

} // namespace kit::engine

struct UIS_Env {};
struct UIS_Runtime {};
