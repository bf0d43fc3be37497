// The UI engine's calls as the host uses them.
#include <gtest/gtest.h>

#include <string>

#include "common/text_convert.h"
#include "engine/function_ref.h"
#include "engine/ui_engine.h"
#include "support/lua_globals.h"
#include "support/temp_dir.h"

namespace {

using testsupport::global_string;
lua_State* state() { return testsupport::lua_state(); }

struct widget {
  static inline int getter_calls = 0;
  static inline int destroyed = 0;
  int value = 7;
};

int widget_value(lua_State* L) {
  auto* w = static_cast<widget*>(UIS_ToObject(L, 1, "Test.WidgetClass"));
  if (!w) return 0;
  lua_pushinteger(L, w->value);
  return 1;
}

int widget_gc(lua_State* L) {
  auto* w = static_cast<widget*>(UIS_ToObject(L, 1, "Test.Item"));
  if (w) {
    ++widget::destroyed;
    delete w;
  }
  return 0;
}

int make_item(lua_State* L) {
  auto* w = new widget;
  w->value = static_cast<int>(luaL_checknumber(L, 2));
  UIS_PushObject(L, "Test.Item", w);
  return 1;
}

const UIS_Method kWidgetMethods[] = {{"Value", widget_value, 0}, {"MakeItem", make_item, 0}, {nullptr, nullptr, 0}};
const UIS_Method kItemMethods[] = {{"__gc", widget_gc, 0}, {"Value", [](lua_State* L) -> int {
                                                              auto* w = static_cast<widget*>(UIS_ToObject(L, 1, "Test.Item"));
                                                              if (!w) return 0;
                                                              lua_pushinteger(L, w->value);
                                                              return 1;
                                                            }, 0},
                                   {nullptr, nullptr, 0}};

void* widget_getter(void*) {
  ++widget::getter_calls;
  static widget w;
  return &w;
}

void register_test_objects() {
  static bool done = false;
  if (done) return;
  done = true;
  UIS_Env* env = UIS_GetEnv(nullptr);
  UIS_RegisterGlobalObj(env, UIS_GlobalObjRecord{widget_getter, nullptr, "Test.Widget", "Test.WidgetClass", kWidgetMethods, nullptr});
  UIS_RegisterClass(env, "Test.Item", kItemMethods, 0, 0);
}

} // namespace

TEST(Engine, RegistrationWithNullEnvironmentDoesNothing) {
  EXPECT_NE(UIS_RegisterClass(nullptr, "X", kItemMethods, 0, 0), 0);
  EXPECT_EQ(UIS_GetRuntime(nullptr, nullptr), nullptr);
}

TEST(Engine, GlobalObjectIsMadeOnFirstUseAndMethodsCheckTheirObject) {
  register_test_objects();
  int before = widget::getter_calls;
  ASSERT_EQ(luaL_dostring(state(), R"(
    local a = GetObject("Test.Widget")
    local b = GetObject("Test.Widget")
    same = tostring(a == b)
    value = tostring(a:Value())
    wrong = tostring(select('#', a.Value({})))
    missing = tostring(GetObject("No.Such.Object"))
  )"), 0);
  EXPECT_EQ(widget::getter_calls, before + 1);
  EXPECT_EQ(global_string("same"), "true");
  EXPECT_EQ(global_string("value"), "7");
  EXPECT_EQ(global_string("wrong"), "0");
  EXPECT_EQ(global_string("missing"), "nil");
}

TEST(Engine, PushedInstancesAreFreedByTheirCollector) {
  register_test_objects();
  int before = widget::destroyed;
  ASSERT_EQ(luaL_dostring(state(), R"(
    local item = GetObject("Test.Widget"):MakeItem(42)
    item_value = tostring(item:Value())
    item = nil
    collectgarbage("collect")
  )"), 0);
  EXPECT_EQ(global_string("item_value"), "42");
  EXPECT_EQ(widget::destroyed, before + 1);
}

TEST(Engine, LuaCallLeavesRequestedResultsAndReportsErrorsWithLabel) {
  lua_State* L = state();
  int top = lua_gettop(L);
  luaL_loadstring(L, "return ...");
  lua_pushinteger(L, 1);
  lua_pushinteger(L, 2);
  EXPECT_EQ(UIS_LuaCall(L, 2, 3, "ok"), 0);
  EXPECT_EQ(lua_gettop(L), top + 3);
  EXPECT_EQ(lua_tointeger(L, -3), 1);
  EXPECT_TRUE(lua_isnil(L, -1));
  lua_settop(L, top);

  luaL_loadstring(L, "error('bad thing')");
  lua_pushinteger(L, 1);
  testing::internal::CaptureStderr();
  EXPECT_NE(UIS_LuaCall(L, 1, 2, "My.Label"), 0);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(lua_gettop(L), top + 2);
  EXPECT_TRUE(lua_isnil(L, -1) && lua_isnil(L, -2));
  lua_settop(L, top);
  EXPECT_EQ(err.rfind("My.Label: ", 0), 0u) << err;
  EXPECT_NE(err.find("bad thing"), std::string::npos);
  EXPECT_NE(err.find("traceback"), std::string::npos);
}

// A call told of more values than the stack holds (or of a negative count) cannot know its
// function: it reports, leaves the caller's values alone and still gives the results asked for.
TEST(Engine, LuaCallToldOfMissingValuesKeepsTheCallersStack) {
  lua_State* L = state();
  int top = lua_gettop(L);
  lua_pushstring(L, "caller's");
  lua_pushinteger(L, 42);
  testing::internal::CaptureStderr();
  EXPECT_NE(UIS_LuaCall(L, 5, 2, "Short.Call"), 0);
  EXPECT_NE(UIS_LuaCall(L, -1, 1, "Negative.Call"), 0);
  std::string err = testing::internal::GetCapturedStderr();
  ASSERT_EQ(lua_gettop(L), top + 5);
  EXPECT_STREQ(lua_tostring(L, top + 1), "caller's");
  EXPECT_EQ(lua_tointeger(L, top + 2), 42);
  for (int i = top + 3; i <= top + 5; ++i) EXPECT_TRUE(lua_isnil(L, i)) << i;
  EXPECT_NE(err.find("Short.Call: "), std::string::npos) << err;
  EXPECT_NE(err.find("Negative.Call: "), std::string::npos) << err;

  // The values below a well-formed call stay too.
  luaL_loadstring(L, "return ... + 1");
  lua_pushinteger(L, 1);
  EXPECT_EQ(UIS_LuaCall(L, 1, 1, "ok"), 0);
  ASSERT_EQ(lua_gettop(L), top + 6);
  EXPECT_EQ(lua_tointeger(L, -1), 2);
  EXPECT_STREQ(lua_tostring(L, top + 1), "caller's");
  lua_settop(L, top);
}

// A kept function stays alive exactly as long as its last holder; a move hands it over.
TEST(Engine, KeptFunctionLivesAsLongAsItsLastHolder) {
  lua_State* L = state();
  ASSERT_EQ(luaL_dostring(L, R"(
    kept_gone, kept_calls = 'no', 0
    local p = newproxy(true)
    getmetatable(p).__gc = function() kept_gone = 'yes' end
    kept_fn = function() kept_calls = kept_calls + 1; return p end
  )"), 0);
  lua_getglobal(L, "kept_fn");
  kit::engine::function_ref a = kit::engine::function_ref::at(L, -1);
  lua_pop(L, 1);
  lua_pushnumber(L, 1);
  EXPECT_TRUE(kit::engine::function_ref::at(L, -1).empty());  // not a function
  lua_pop(L, 1);
  ASSERT_EQ(luaL_dostring(L, "kept_fn = nil"), 0);

  kit::engine::function_ref b = std::move(a);
  EXPECT_TRUE(a.empty());
  a.reset();  // releases nothing: b holds the function now
  lua_gc(L, LUA_GCCOLLECT, 0);
  EXPECT_EQ(global_string("kept_gone"), "no");
  EXPECT_EQ(kit::engine::call(b, "kept"), 0);
  kit::engine::function_ref c;
  c = std::move(b);
  EXPECT_EQ(kit::engine::call(c, "kept"), 0);
  EXPECT_NE(kit::engine::call(b, "kept"), 0);  // empty: nothing is called
  EXPECT_EQ(global_string("kept_calls"), "2");

  c.reset();
  lua_gc(L, LUA_GCCOLLECT, 0);
  lua_gc(L, LUA_GCCOLLECT, 0);
  EXPECT_EQ(global_string("kept_gone"), "yes");
}

TEST(Engine, ChunkRunsTheFileThenItsEntryFunction) {
  testsupport::temp_dir dir;
  std::string path = dir / "helper.lua";
  testsupport::write_file(path, "chunk_trace = 'file'\nfunction RegisterObject() chunk_trace = chunk_trace .. '+entry' end\n");
  UIS_Runtime* rt = UIS_GetRuntime(UIS_GetEnv(nullptr), nullptr);
  UIS_Chunk* chunk = nullptr;
  std::u16string p16 = kit::text::utf8_to_utf16(path);
  ASSERT_EQ(UIS_CreateChunkFromModule(u"Helper", p16.c_str(), "RegisterObject", &chunk), 0);
  ASSERT_EQ(UIS_PrepareChunk(rt, chunk), 0);
  EXPECT_EQ(UIS_LuaCall(UIS_GetLuaState(rt), 0, 0, "helper"), 0);
  UIS_ReleaseChunk(chunk);
  EXPECT_EQ(global_string("chunk_trace"), "file+entry");

  std::u16string missing = kit::text::utf8_to_utf16(dir / "none.lua");
  chunk = reinterpret_cast<UIS_Chunk*>(1);
  EXPECT_NE(UIS_CreateChunkFromModule(u"None", missing.c_str(), "RegisterObject", &chunk), 0);
  EXPECT_EQ(chunk, nullptr);
}

TEST(Engine, PackageIsFoundByNameIgnoringCase) {
  testsupport::temp_dir dir;
  testsupport::write_file(dir / "MyPkg/onload.lua", "package_loaded = 'yes'\n");
  std::u16string root = kit::text::utf8_to_utf16(dir.path());
  UIL_AddPackageSearchPath(root.c_str());
  EXPECT_EQ(UIL_LoadPackage("MYPKG"), 0);
  EXPECT_EQ(global_string("package_loaded"), "yes");
  EXPECT_NE(UIL_LoadPackage("otherpkg"), 0);
}

TEST(Engine, BitmapsAreCountedAndAddressed) {
  UIG_Bitmap* b = UIG_CreateBitmap(0, 4, 3);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(UIG_GetBitmapBuffer(b, 1, 2) - UIG_GetBitmapBuffer(b, 0, 0), (2 * 4 + 1) * 4);
  EXPECT_EQ(UIG_GetBitmapBuffer(b, 4, 0), nullptr);
  EXPECT_EQ(UIG_AddRefBitmap(b), 2);
  EXPECT_EQ(UIG_ReleaseBitmap(b), 1);
  EXPECT_EQ(UIG_ReleaseBitmap(b), 0);
  EXPECT_EQ(UIG_CreateBitmap(0, 0, 5), nullptr);
}
