// The script-facing completion of a work item: calls one script function with the item's
// result, once, then frees itself.
#pragma once
#include "engine/function_ref.h"
#include "host/work_item.h"

class LuaAsynFunctionCallback : public IRoutineCallback {
public:
  // Null unless the value at idx is a function.
  static LuaAsynFunctionCallback* Create(lua_State* L, int idx);
  void OnDone(IWorkItem* item) override;

private:
  explicit LuaAsynFunctionCallback(kit::engine::function_ref function) : function_(std::move(function)) {}
  kit::engine::function_ref function_;
};
