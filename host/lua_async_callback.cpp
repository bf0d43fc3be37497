#include "host/lua_async_callback.h"

#include "host/script_bridge.h"

LuaAsynFunctionCallback* LuaAsynFunctionCallback::Create(lua_State* L, int idx) {
  if (lua_type(L, idx) != LUA_TFUNCTION) return nullptr;
  lua_pushvalue(L, idx);
  return new LuaAsynFunctionCallback(L, luaL_ref(L, LUA_REGISTRYINDEX));
}

void LuaAsynFunctionCallback::OnDone(IWorkItem* item) {
  int32_t result = item ? item->result : 0;
  kit::script::call_event(CLuaEvent{state_, ref_}, [result](lua_State* L) {
    kit::script::push_int32(L, result);
    return 1;
  });
  delete this;
}

LuaAsynFunctionCallback::~LuaAsynFunctionCallback() {
  if (ref_ != 0 && state_) luaL_unref(state_, LUA_REGISTRYINDEX, ref_);
}
