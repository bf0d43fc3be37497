#include "host/lua_async_callback.h"

#include "host/script_bridge.h"

LuaAsynFunctionCallback* LuaAsynFunctionCallback::Create(lua_State* L, int idx) {
  kit::engine::function_ref function = kit::engine::function_ref::at(L, idx);
  return function ? new LuaAsynFunctionCallback(std::move(function)) : nullptr;
}

void LuaAsynFunctionCallback::OnDone(IWorkItem* item) {
  int32_t result = item ? item->result : 0;
  kit::script::call_event(function_, [result](lua_State* L) {
    kit::script::push_int32(L, result);
    return 1;
  });
  delete this;
}
