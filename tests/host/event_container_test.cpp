// Stored script callbacks: cookies, firing order, and what a failing listener leaves behind.
#include <gtest/gtest.h>

#include <string>

#include "engine/ui_engine.h"
#include "support/lua_globals.h"
#include "host/script_bridge.h"

namespace {

using testsupport::global_string;
lua_State* state() { return testsupport::lua_state(); }

// Attaches the Lua function given as source text; returns the cookie.
uint32_t attach(LuaEventContainer& c, const std::string& fn_source) {
  lua_State* L = state();
  int top = lua_gettop(L);
  lua_pushnil(L);  // stands for argument 1 (the object)
  EXPECT_EQ(luaL_loadstring(L, ("return " + fn_source).c_str()), 0);
  lua_call(L, 0, 1);
  int n = kit::script::attach_event(L, c);
  EXPECT_EQ(n, 1);
  auto cookie = static_cast<uint32_t>(lua_tonumber(L, -1));
  lua_settop(L, top);
  return cookie;
}

void detach(LuaEventContainer& c, uint32_t cookie) {
  lua_State* L = state();
  int top = lua_gettop(L);
  lua_pushnil(L);
  lua_pushnumber(L, cookie);
  kit::script::detach_event(L, c);
  lua_settop(L, top);
}

void run(const char* code) { ASSERT_EQ(luaL_dostring(state(), code), 0); }

} // namespace

TEST(EventContainer, CookiesAreNeverReusedAndFiringKeepsAttachOrder) {
  LuaEventContainer c;
  run("trace = ''");
  EXPECT_EQ(attach(c, "function() trace = trace .. '1' end"), 1u);
  EXPECT_EQ(attach(c, "function() trace = trace .. '2' end"), 2u);
  EXPECT_EQ(attach(c, "function() trace = trace .. '3' end"), 3u);
  detach(c, 2);
  detach(c, 2);  // a second detach of the same cookie does nothing
  EXPECT_EQ(attach(c, "function() trace = trace .. '4' end"), 4u);
  kit::script::fire_events(c);
  EXPECT_EQ(global_string("trace"), "134");
  kit::script::release_events(c);
  EXPECT_EQ(c.Size(), 0u);
}

// Cookies run from 1 to 0xFFFFFFFF; a number outside that range names no listener, even one
// whose low 32 bits would.
TEST(EventContainer, DetachWithACookieOutOfRangeDetachesNothing) {
  LuaEventContainer c;
  run("hits = ''");
  uint32_t one = attach(c, "function() hits = hits .. 'x' end");
  ASSERT_EQ(one, 1u);
  lua_State* L = state();
  for (lua_Number bad : {4294967297.0, 4294967296.0 * 3 + 1, -4294967295.0, 0.0, -0.5, 1e300, 0.0 / 0.0}) {
    int top = lua_gettop(L);
    lua_pushnil(L);
    lua_pushnumber(L, bad);
    EXPECT_EQ(kit::script::detach_event(L, c), 0);
    lua_settop(L, top);
    EXPECT_EQ(c.Size(), 1u) << bad;
  }
  kit::script::fire_events(c);
  EXPECT_EQ(global_string("hits"), "x");
  detach(c, one);
  EXPECT_EQ(c.Size(), 0u);
}

TEST(EventContainer, RemoveOfUnknownCookieFailsAndEnumerationEnds) {
  LuaEventContainer c;
  CLuaEvent a, b;
  uint32_t ca = 0, cb = 0;
  c.AddEvent(&ca, &a);
  c.AddEvent(&cb, &b);
  CLuaEvent* out = nullptr;
  EXPECT_EQ(c.RemoveEvent(99, &out), E_FAIL);
  IEventEnum<CLuaEvent>* e = nullptr;
  c.GetEnum(&e);
  ASSERT_EQ(e->Next(&out), S_OK);
  EXPECT_EQ(out, &a);
  ASSERT_EQ(e->Next(&out), S_OK);
  EXPECT_EQ(out, &b);
  EXPECT_EQ(e->Next(&out), 1);
  EXPECT_EQ(out, nullptr);
}

TEST(EventContainer, RaisingListenerDoesNotStopTheNextAndStackIsRestored) {
  LuaEventContainer c;
  run("seen = ''");
  attach(c, "function(x) seen = seen .. 'a' .. x; error('boom') end");
  attach(c, "function(x) seen = seen .. 'b' .. x; return 1, 2, 3 end");
  lua_State* L = state();
  int before = lua_gettop(L);
  testing::internal::CaptureStderr();
  kit::script::fire_events(c, [](lua_State* S) {
    lua_pushstring(S, "!");
    return 1;
  });
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(lua_gettop(L), before);
  EXPECT_EQ(global_string("seen"), "a!b!");
  EXPECT_NE(err.find("CLuaEvent::Call: "), std::string::npos);
  EXPECT_NE(err.find("boom"), std::string::npos);
  kit::script::release_events(c);
}

TEST(EventContainer, ListenerDetachingAnotherDuringFiringSkipsIt) {
  LuaEventContainer c;
  run("order = ''");
  static LuaEventContainer* target = nullptr;
  target = &c;
  lua_register(state(), "detach_two", [](lua_State*) -> int {
    detach(*target, 2);
    return 0;
  });
  attach(c, "function() order = order .. '1'; detach_two() end");
  attach(c, "function() order = order .. '2' end");
  attach(c, "function() order = order .. '3' end");
  kit::script::fire_events(c);
  EXPECT_EQ(global_string("order"), "13");
  kit::script::release_events(c);
}

TEST(ScriptValues, IntegersArePushedAsLow32BitsSigned) {
  lua_State* L = state();
  kit::script::push_int32(L, 0x1'0000'0005LL);
  EXPECT_EQ(lua_tonumber(L, -1), 5);
  kit::script::push_int32(L, 0xFFFF'FFFFLL);
  EXPECT_EQ(lua_tonumber(L, -1), -1);
  lua_pop(L, 2);
}
