// SetTimer(ms, fn) -> id calls fn once on the UI thread after ms; KillTimer(id) cancels.
#include <climits>
#include <map>
#include <memory>

#include <boost/asio/steady_timer.hpp>

#include "engine/engine_state.h"
#include "engine/function_ref.h"
#include "engine/script_numbers.h"
#include "platform/ui_loop_asio.h"

namespace kit::engine {

namespace {
struct script_timer {
  std::unique_ptr<boost::asio::steady_timer> timer;
  function_ref function;
};

std::map<int, script_timer>& timers() {
  static auto* t = new std::map<int, script_timer>();  // lives to process exit
  return *t;
}
int last_timer_id = 0;

int script_set_timer(lua_State* L) {
  int64_t ms = to_delay_ms(luaL_checknumber(L, 1));
  luaL_checktype(L, 2, LUA_TFUNCTION);
  function_ref function = function_ref::at(L, 2);
  int id = ++last_timer_id;
  auto timer = std::make_unique<boost::asio::steady_timer>(platform::ui_io_context());
  timer->expires_after(std::chrono::milliseconds(ms));
  timer->async_wait([id](const boost::system::error_code& ec) {
    if (ec) return;
    auto it = timers().find(id);
    if (it == timers().end()) return;
    auto keep = std::move(it->second.timer);  // the handler runs inside this timer
    function_ref function = std::move(it->second.function);
    timers().erase(it);
    call(function, "SetTimer");
  });
  timers()[id] = script_timer{std::move(timer), std::move(function)};
  lua_pushinteger(L, id);
  return 1;
}

int script_kill_timer(lua_State* L) {
  std::optional<uint32_t> id = check_id(L, 1);
  if (!id || *id > INT_MAX) return 0;  // timer ids are positive ints
  auto it = timers().find(static_cast<int>(*id));
  // Destroying the timer cancels its wait; the aborted handler finds no entry and returns.
  if (it != timers().end()) timers().erase(it);
  return 0;
}
} // namespace

void install_timers(lua_State* L) {
  lua_register(L, "SetTimer", script_set_timer);
  lua_register(L, "KillTimer", script_kill_timer);
}

} // namespace kit::engine
