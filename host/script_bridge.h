// The conventions every script object follows: finding the native object behind argument
// 1, attach/detach of callbacks, calling stored callbacks, and pushing values.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "engine/function_ref.h"
#include "engine/script_numbers.h"
#include "engine/ui_engine.h"
#include "host/lua_event.h"
#include "host/work_item.h"

namespace kit::script {

// The engine's stored functions, calls and number conversions, for the bindings.
using engine::call;
using engine::check_id;
using engine::check_int64;
using engine::function_ref;
using engine::push_fn;
using engine::read_fn;
using engine::to_id;
using engine::to_int64;

// How every script object treats its arguments:
// 1. Argument 1 is the object. When it is not an object of the method's class, the method
//    does nothing and returns nothing.
// 2. Where a method's own description says what a bad argument gives (false, nil, 0, no
//    task), it gives that.
// 3. Otherwise a required argument that is missing or of the wrong type raises the
//    runtime's argument error (check_text, check_int64, check_id; luaL_check*), the same in
//    every object, before anything is queued or changed.
// 4. A callback argument that is not a function is no callback: the work is done and
//    nothing is called.

// The class name of the script objects whose native object is a T: each binding
// specialises it (static constexpr const char* name).
template <class T>
struct script_class;

// The native object behind argument 1 when it is an object of class_name, else null.
template <class T>
T* self(lua_State* L, const char* class_name) {
  return static_cast<T*>(UIS_ToObject(L, 1, class_name));
}
template <class T>
T* self(lua_State* L) {
  return self<T>(L, script_class<T>::name);
}

// A required text argument: a string, or a number as its text; anything else raises the
// runtime's argument error.
std::string check_text(lua_State* L, int idx);

// A script method without arguments or results: calls (object->*Method)() when argument 1
// is an object of T's class, and does nothing otherwise.
template <class T, auto Method>
int call_method(lua_State* L) {
  if (T* object = self<T>(L)) (object->*Method)();
  return 0;
}

// A script method taking one task id: calls (object->*Method)(id) when argument 1 is an
// object of T's class and the number names a task id (see to_id).
template <class T, auto Method>
int call_with_task_id(lua_State* L) {
  T* object = self<T>(L);
  if (!object) return 0;
  if (std::optional<uint32_t> id = check_id(L, 2)) (object->*Method)(*id);
  return 0;
}

// attach(self, function) -> cookie, after the caller has checked argument 1. Returns the
// number of results (0 when argument 2 is not a function).
int attach_event(lua_State* L, LuaEventContainer& container);
// detach(self, cookie), after the caller has checked argument 1. Returns 0.
int detach_event(lua_State* L, LuaEventContainer& container);
// Releases and deletes every event still held (the owner's destruction).
void release_events(LuaEventContainer& container);

// Makes a CLuaEvent for the function at idx, or null when it is not a function.
CLuaEvent* make_event(lua_State* L, int idx);
// Releases the function reference and deletes the event.
void free_event(CLuaEvent* event);

// The callback call: pushes the function and the arguments, calls it through the engine
// with the label "CLuaEvent::Call", lets read see the results, restores the stack height.
// All of it runs in the main script state inside one protected call (see kit::script::call),
// so push may build large values or throw: that ends this call only.
void call_event(const CLuaEvent& event, const push_fn& push = {}, int nresults = 0, const read_fn& read = {});
void call_event(const function_ref& function, const push_fn& push = {}, int nresults = 0, const read_fn& read = {});
// Calls every listener of the container in attach order.
void fire_events(LuaEventContainer& container, const push_fn& push = {});

// Pushes an integer the way the runtime's integer push does: low 32 bits, signed.
inline void push_int32(lua_State* L, int64_t value) {
  lua_pushinteger(L, static_cast<lua_Integer>(static_cast<int32_t>(static_cast<uint32_t>(value))));
}
inline void push_string(lua_State* L, const std::string& s) { lua_pushlstring(L, s.data(), s.size()); }
void push_utf16(lua_State* L, const std::u16string& s);
// Argument idx as a UTF-8 string; empty when absent.
std::string to_string(lua_State* L, int idx);

} // namespace kit::script

// The script-facing completion of a work item: calls one script function with the item's
// result, once, then frees itself.
class LuaAsynFunctionCallback : public IRoutineCallback {
public:
  // Null unless the value at idx is a function.
  static LuaAsynFunctionCallback* Create(lua_State* L, int idx);
  void OnDone(IWorkItem* item) override;

private:
  explicit LuaAsynFunctionCallback(kit::engine::function_ref function) : function_(std::move(function)) {}
  kit::engine::function_ref function_;
};
