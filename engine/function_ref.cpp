#include "engine/function_ref.h"

#include <cstdio>

#include "engine/ui_engine.h"

namespace kit::engine {

function_ref function_ref::at(lua_State* L, int idx) {
  if (lua_type(L, idx) != LUA_TFUNCTION) return {};
  lua_State* main = UIS_GetMainState(L);
  if (!main) return {};
  lua_pushvalue(L, idx);
  // The registry is one for the main state and all its coroutines.
  return function_ref(main, luaL_ref(L, LUA_REGISTRYINDEX));
}

function_ref& function_ref::operator=(function_ref&& other) noexcept {
  if (this != &other) {
    reset();
    state_ = other.state_;
    ref_ = other.ref_;
    other.forget();
  }
  return *this;
}

void function_ref::reset() {
  if (state_ && ref_ > 0 && lua_checkstack(state_, 2)) luaL_unref(state_, LUA_REGISTRYINDEX, ref_);
  forget();
}

namespace {
struct pending_call {
  const function_ref* fn;
  const char* context;
  const push_fn* push;
  int nresults;
  const read_fn* read;
  int rc;
};

// Runs inside lua_cpcall: everything that may raise does so inside the protected call.
int run_call(lua_State* L) {
  auto* c = static_cast<pending_call*>(lua_touserdata(L, 1));
  lua_pop(L, 1);
  c->fn->push(L);
  int nargs = *c->push ? (*c->push)(L) : 0;
  c->rc = UIS_LuaCall(L, nargs, c->nresults, c->context);
  if (*c->read && c->nresults > 0) (*c->read)(L);
  return 0;
}
} // namespace

int call(const function_ref& fn, const char* context, const push_fn& push, int nresults, const read_fn& read) {
  lua_State* L = fn.state();
  if (!L) return -1;
  if (nresults < 0) nresults = 0;
  int top = lua_gettop(L);
  pending_call c{&fn, context ? context : "script", &push, nresults, &read, 0};
  int rc = lua_cpcall(L, run_call, &c);
  if (rc != 0) {
    const char* msg = lua_tostring(L, -1);
    std::fprintf(stderr, "%s: %s\n", c.context, msg ? msg : "(error)");
    std::fflush(stderr);
    lua_settop(L, top);
    // The arguments could not be built: the reader sees the nils of a failed call.
    if (read && nresults > 0 && lua_checkstack(L, nresults)) {
      for (int i = 0; i < nresults; ++i) lua_pushnil(L);
      read(L);
    }
  }
  lua_settop(L, top);
  return rc != 0 ? rc : c.rc;
}

} // namespace kit::engine
