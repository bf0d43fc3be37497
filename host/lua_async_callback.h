// The script-facing completion of a work item: calls one script function with the item's
// result, once, then frees itself.
#pragma once
#include <lua.hpp>

#include "host/work_item.h"

class LuaAsynFunctionCallback : public IRoutineCallback {
public:
  // Null unless the value at idx is a function.
  static LuaAsynFunctionCallback* Create(lua_State* L, int idx);
  void OnDone(IWorkItem* item) override;
  ~LuaAsynFunctionCallback() override;

private:
  LuaAsynFunctionCallback(lua_State* L, int ref) : state_(L), ref_(ref) {}
  lua_State* state_;
  int ref_;
};
