#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/engine_state.h"
#include "platform/line_editor.h"
#include "engine/script_memory.h"

namespace kit::engine {

namespace {
UIS_Env the_env;
// Registry key (its address) of the main state, for finding it from any coroutine.
const char main_state_key = 0;
UIS_Runtime the_runtime;

int traceback(lua_State* L) {
  const char* msg = lua_tostring(L, 1);
  if (!msg) msg = "(error object is not a string)";
  lua_getfield(L, LUA_GLOBALSINDEX, "debug");
  if (!lua_istable(L, -1)) {
    lua_pushstring(L, msg);
    return 1;
  }
  lua_getfield(L, -1, "traceback");
  if (!lua_isfunction(L, -1)) {
    lua_pushstring(L, msg);
    return 1;
  }
  lua_pushstring(L, msg);
  lua_pushinteger(L, 2);
  lua_call(L, 2, 1);
  return 1;
}

// An error raised where no protected call catches it: the state cannot be trusted any
// more, so the process ends here, with the message, instead of going on with it.
int unprotected_error(lua_State* L) {
  const char* msg = lua_tostring(L, -1);
  std::fprintf(stderr, "unprotected script error: %s\n", msg ? msg : "(error object is not a string)");
  std::fflush(stderr);
  std::abort();
}

// Fills the metatable at the top of the stack from a method table: methods go to __index,
// a "__gc" row becomes the metatable's finaliser.
void fill_metatable(lua_State* L, const UIS_Method* methods) {
  lua_getfield(L, -1, "__index");
  if (!lua_istable(L, -1)) {
    lua_pop(L, 1);
    lua_newtable(L);
    lua_pushvalue(L, -1);
    lua_setfield(L, -3, "__index");
  }
  for (const UIS_Method* m = methods; m && m->name; ++m) {
    lua_pushcfunction(L, m->func);
    if (std::strcmp(m->name, "__gc") == 0) {
      lua_setfield(L, -3, "__gc");
    } else {
      lua_setfield(L, -2, m->name);
    }
  }
  lua_pop(L, 1);
}

int script_get_object(lua_State* L) {
  const char* name = luaL_checkstring(L, 1);
  auto& st = get();
  auto it = st.globals.find(name);
  if (it == st.globals.end()) {
    lua_pushnil(L);
    return 1;
  }
  global_object& g = it->second;
  if (g.ref == LUA_NOREF) {
    if (!g.native && g.record.getter) g.native = g.record.getter(g.record.user_data);
    if (!g.native) {
      lua_pushnil(L);
      return 1;
    }
    void** ud = static_cast<void**>(lua_newuserdata(L, sizeof(void*)));
    *ud = g.native;
    luaL_getmetatable(L, g.record.class_name);
    lua_setmetatable(L, -2);
    g.ref = luaL_ref(L, LUA_REGISTRYINDEX);
  }
  lua_rawgeti(L, LUA_REGISTRYINDEX, g.ref);
  return 1;
}

int script_print(lua_State* L) {
  int n = lua_gettop(L);
  lua_getglobal(L, "tostring");
  std::string line;
  for (int i = 1; i <= n; ++i) {
    lua_pushvalue(L, -1);
    lua_pushvalue(L, i);
    lua_call(L, 1, 1);
    size_t len = 0;
    const char* s = lua_tolstring(L, -1, &len);
    if (!s) return luaL_error(L, "'tostring' must return a string to 'print'");
    if (i > 1) line += '\t';
    line.append(s, len);
    lua_pop(L, 1);
  }
  line += '\n';
  // While a line is edited on the terminal the text goes above the prompt.
  if (platform::line_editor_active()) {
    platform::print_above_prompt(line);
    return 0;
  }
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fflush(stdout);
  return 0;
}
} // namespace

state& get() {
  static state st;
  if (!st.L) {
#ifndef NDEBUG
    // Builds with assertions keep script memory on the C heap (see script_memory.h). A
    // runtime that insists on its own heap refuses the allocator and keeps that.
    st.L = lua_newstate(script_alloc, nullptr);
#endif
    if (!st.L) st.L = luaL_newstate();
    lua_atpanic(st.L, unprotected_error);
    lua_pushlightuserdata(st.L, const_cast<char*>(&main_state_key));
    lua_pushthread(st.L);
    lua_rawset(st.L, LUA_REGISTRYINDEX);
    luaL_openlibs(st.L);
    install_builtins(st.L);
  }
  return st;
}

void install_builtins(lua_State* L) {
  lua_register(L, "GetObject", script_get_object);
  lua_register(L, "print", script_print);
  install_timers(L);
  install_console(L);
}

} // namespace kit::engine

using namespace kit::engine;

UIS_Env* UIS_GetEnv(const char*) {
  get();
  return &the_env;
}

UIS_Runtime* UIS_GetRuntime(UIS_Env* env, const char*) { return env ? &the_runtime : nullptr; }

lua_State* UIS_GetLuaState(UIS_Runtime* runtime) { return runtime ? get().L : nullptr; }

int UIS_RegisterGlobalObj(UIS_Env* env, UIS_GlobalObjRecord record) {
  if (!env || !record.name || !record.class_name) return -1;
  lua_State* L = get().L;
  luaL_newmetatable(L, record.class_name);
  fill_metatable(L, record.methods);
  lua_pop(L, 1);
  global_object g;
  g.record = record;
  get().globals[record.name] = g;
  return 0;
}

int UIS_RegisterClass(UIS_Env* env, const char* class_name, const UIS_Method* methods, int, int) {
  if (!env || !class_name) return -1;
  lua_State* L = get().L;
  luaL_newmetatable(L, class_name);
  fill_metatable(L, methods);
  lua_pop(L, 1);
  return 0;
}

int UIS_PushObject(lua_State* L, const char* class_name, void* native) {
  void** ud = static_cast<void**>(lua_newuserdata(L, sizeof(void*)));
  *ud = native;
  luaL_getmetatable(L, class_name);
  if (lua_isnil(L, -1)) {
    // Unknown class: the object still reaches the script, without methods.
    lua_pop(L, 1);
    return 1;
  }
  lua_setmetatable(L, -2);
  return 1;
}

lua_State* UIS_GetMainState(lua_State* L) {
  if (!L || !lua_checkstack(L, 2)) return nullptr;
  lua_pushlightuserdata(L, const_cast<char*>(&main_state_key));
  lua_rawget(L, LUA_REGISTRYINDEX);
  lua_State* main = lua_tothread(L, -1);
  lua_pop(L, 1);
  return main ? main : L;
}

void* UIS_ToObject(lua_State* L, int idx, const char* class_name) {
  void** ud = static_cast<void**>(lua_touserdata(L, idx));
  if (!ud || !lua_getmetatable(L, idx)) return nullptr;
  luaL_getmetatable(L, class_name);
  bool same = lua_rawequal(L, -1, -2);
  lua_pop(L, 2);
  return same ? *ud : nullptr;
}

int UIS_LuaCall(lua_State* L, int nargs, int nresults, const char* context) {
  const char* label = context ? context : "script";
  if (nresults < 0) nresults = 0;
  // Room for the error handler and for the results pushed after a failure.
  if (!lua_checkstack(L, nresults + 2)) {
    std::fprintf(stderr, "%s: too many results asked for (%d)\n", label, nresults);
    std::fflush(stderr);
    return -1;
  }
  int func = lua_gettop(L) - nargs;
  if (nargs < 0 || func < 1) {
    // Which value would be the function is unknown: the caller's values stay as they are.
    std::fprintf(stderr, "%s: no function below %d arguments (%d values on the stack)\n", label, nargs, lua_gettop(L));
    std::fflush(stderr);
    for (int i = 0; i < nresults; ++i) lua_pushnil(L);
    return -1;
  }
  lua_pushcfunction(L, traceback);
  lua_insert(L, func);
  int rc = lua_pcall(L, nargs, nresults, func);
  if (rc != 0) {
    const char* msg = lua_tostring(L, -1);
    std::fprintf(stderr, "%s: %s\n", label, msg ? msg : "(error)");
    std::fflush(stderr);
    lua_pop(L, 1);
    for (int i = 0; i < nresults; ++i) lua_pushnil(L);
  }
  lua_remove(L, func);
  return rc;
}
