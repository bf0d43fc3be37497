// The callback call when building the arguments fails: out of memory, a script error or a
// C++ exception inside the push ends that one call, never the process.
#include <gtest/gtest.h>

#include <csignal>
#include <new>
#include <string>

#include "engine/script_memory.h"
#include "host/script_bridge.h"
#include "support/lua_globals.h"

namespace {

using testsupport::global_string;
lua_State* state() { return testsupport::lua_state(); }

CLuaEvent* event_of(const char* fn_source) {
  lua_State* L = state();
  EXPECT_EQ(luaL_loadstring(L, (std::string("return ") + fn_source).c_str()), 0);
  lua_call(L, 0, 1);
  CLuaEvent* ev = kit::script::make_event(L, -1);
  lua_pop(L, 1);
  return ev;
}

// Pushes a table far larger than the memory limit allows.
int push_huge_table(lua_State* L) {
  lua_newtable(L);
  for (int i = 1; i <= 50'000'000; ++i) {
    lua_pushinteger(L, i);
    lua_rawseti(L, -2, i);
  }
  return 1;
}

struct memory_limit {
  explicit memory_limit(size_t extra) { kit::engine::set_script_memory_limit(kit::engine::script_memory_in_use() + extra); }
  ~memory_limit() { kit::engine::set_script_memory_limit(0); }
};

} // namespace

TEST(CallbackCall, RunningOutOfMemoryWhileBuildingArgumentsEndsThatCallOnly) {
  lua_State* L = state();
  if (kit::engine::script_memory_in_use() == 0) GTEST_SKIP() << "the script state keeps the runtime's own heap";
  ASSERT_EQ(luaL_dostring(L, "called = 'no'"), 0);
  CLuaEvent* ev = event_of("function(t, extra) called = 'yes' return true, 1 end");
  ASSERT_NE(ev, nullptr);
  int top = lua_gettop(L);
  int reads = 0;
  bool first_result = true;
  testing::internal::CaptureStderr();
  {
    memory_limit limit(1 << 20);
    kit::script::call_event(*ev, push_huge_table, 2, [&](lua_State* S) {
      ++reads;
      first_result = lua_toboolean(S, -2);
    });
  }
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(lua_gettop(L), top);
  EXPECT_EQ(global_string("called"), "no");
  EXPECT_NE(err.find("CLuaEvent::Call: not enough memory"), std::string::npos) << err;
  // The reader sees what a failed call leaves: nils.
  EXPECT_EQ(reads, 1);
  EXPECT_FALSE(first_result);

  lua_gc(L, LUA_GCCOLLECT, 0);
  kit::script::call_event(*ev, [](lua_State* S) {
    lua_pushinteger(S, 1);
    return 1;
  });
  EXPECT_EQ(global_string("called"), "yes");
  kit::script::free_event(ev);
}

TEST(CallbackCall, ScriptErrorsAndExceptionsFromThePushEndOnlyTheirListener) {
  LuaEventContainer c;
  lua_State* L = state();
  ASSERT_EQ(luaL_dostring(L, "heard = ''"), 0);
  uint32_t cookie = 0;
  for (const char* name : {"a", "b", "c"}) {
    std::string fn = std::string("function(x) heard = heard .. '") + name + "' .. x end";
    c.AddEvent(&cookie, event_of(fn.c_str()));
  }
  int top = lua_gettop(L);
  int round = 0;
  testing::internal::CaptureStderr();
  kit::script::fire_events(c, [&](lua_State* S) -> int {
    ++round;
    if (round == 1) return luaL_error(S, "no arguments today");
    if (round == 2) throw std::bad_alloc();
    lua_pushstring(S, "!");
    return 1;
  });
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(round, 3);
  EXPECT_EQ(lua_gettop(L), top);
  EXPECT_EQ(global_string("heard"), "c!");
  EXPECT_NE(err.find("CLuaEvent::Call: no arguments today"), std::string::npos) << err;
  kit::script::release_events(c);
}

// An error raised where nothing protects it cannot be recovered from: the runtime's panic
// handler says so and aborts instead of carrying on with a broken state.
TEST(CallbackCallDeathTest, UnprotectedErrorIsLoggedAndAborts) {
  lua_State* L = state();
  lua_CFunction panic = lua_atpanic(L, nullptr);
  lua_atpanic(L, panic);
  ASSERT_NE(panic, nullptr);
  EXPECT_EXIT(
      {
        lua_pushstring(L, "lost error");
        panic(L);
      },
#ifdef _WIN32
      testing::ExitedWithCode(3),  // abort() on Windows
#else
      testing::KilledBySignal(SIGABRT),
#endif
      "unprotected script error: lost error");
}
