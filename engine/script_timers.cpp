// SetTimer(ms, fn) -> id calls fn once on the UI thread after ms; KillTimer(id) cancels.
#include <map>
#include <memory>

#include <boost/asio/steady_timer.hpp>

#include "engine/engine_state.h"
#include "platform/ui_loop_asio.h"

namespace kit::engine {

namespace {
struct script_timer {
  std::unique_ptr<boost::asio::steady_timer> timer;
  int ref;
};

std::map<int, script_timer>& timers() {
  static auto* t = new std::map<int, script_timer>();  // lives to process exit
  return *t;
}
int last_timer_id = 0;

int script_set_timer(lua_State* L) {
  lua_Number ms = luaL_checknumber(L, 1);
  luaL_checktype(L, 2, LUA_TFUNCTION);
  if (ms < 0) ms = 0;
  lua_pushvalue(L, 2);
  int ref = luaL_ref(L, LUA_REGISTRYINDEX);
  int id = ++last_timer_id;
  auto timer = std::make_unique<boost::asio::steady_timer>(platform::ui_io_context());
  timer->expires_after(std::chrono::milliseconds(static_cast<long long>(ms)));
  timer->async_wait([id](const boost::system::error_code& ec) {
    if (ec) return;
    auto it = timers().find(id);
    if (it == timers().end()) return;
    int fn = it->second.ref;
    auto keep = std::move(it->second.timer);  // the handler runs inside this timer
    timers().erase(it);
    lua_State* S = get().L;
    lua_rawgeti(S, LUA_REGISTRYINDEX, fn);
    luaL_unref(S, LUA_REGISTRYINDEX, fn);
    UIS_LuaCall(S, 0, 0, "SetTimer");
  });
  timers()[id] = script_timer{std::move(timer), ref};
  lua_pushinteger(L, id);
  return 1;
}

int script_kill_timer(lua_State* L) {
  int id = static_cast<int>(luaL_checknumber(L, 1));
  auto it = timers().find(id);
  if (it != timers().end()) {
    luaL_unref(L, LUA_REGISTRYINDEX, it->second.ref);
    // Destroying the timer cancels its wait; the aborted handler finds no entry and returns.
    timers().erase(it);
  }
  return 0;
}
} // namespace

void install_timers(lua_State* L) {
  lua_register(L, "SetTimer", script_set_timer);
  lua_register(L, "KillTimer", script_kill_timer);
}

} // namespace kit::engine
