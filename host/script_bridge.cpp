#include "host/script_bridge.h"

#include "common/text_convert.h"

namespace kit::script {

CLuaEvent* make_event(lua_State* L, int idx) {
  function_ref function = function_ref::at(L, idx);
  if (!function) return nullptr;
  return new CLuaEvent{std::move(function)};
}

void free_event(CLuaEvent* ev) { delete ev; }

int attach_event(lua_State* L, LuaEventContainer& container) {
  CLuaEvent* ev = make_event(L, 2);
  if (!ev) return 0;
  uint32_t cookie = 0;
  container.AddEvent(&cookie, ev);
  lua_pushnumber(L, cookie);
  return 1;
}

int detach_event(lua_State* L, LuaEventContainer& container) {
  std::optional<uint32_t> cookie = check_id(L, 2);
  CLuaEvent* ev = nullptr;
  if (!cookie || container.RemoveEvent(*cookie, &ev) != S_OK || !ev) return 0;
  free_event(ev);
  return 0;
}

void release_events(LuaEventContainer& container) {
  for (uint32_t cookie : container.Cookies()) {
    CLuaEvent* ev = nullptr;
    container.RemoveEvent(cookie, &ev);
    free_event(ev);
  }
}

void call_event(const CLuaEvent& event, const push_fn& push, int nresults, const read_fn& read) {
  call_event(event.function, push, nresults, read);
}

void call_event(const function_ref& function, const push_fn& push, int nresults, const read_fn& read) {
  call(function, "CLuaEvent::Call", push, nresults, read);
}

void fire_events(LuaEventContainer& container, const push_fn& push) {
  for (uint32_t cookie : container.Cookies()) {
    CLuaEvent* ev = container.Find(cookie);  // may have been detached by an earlier listener
    if (ev) call_event(*ev, push);
  }
}

void push_utf16(lua_State* L, const std::u16string& s) { push_string(L, kit::text::utf16_to_utf8(s)); }

std::string check_text(lua_State* L, int idx) {
  size_t len = 0;
  const char* s = luaL_checklstring(L, idx, &len);
  return std::string(s, len);
}

std::string to_string(lua_State* L, int idx) {
  size_t len = 0;
  const char* s = lua_type(L, idx) == LUA_TSTRING || lua_type(L, idx) == LUA_TNUMBER ? lua_tolstring(L, idx, &len) : nullptr;
  return s ? std::string(s, len) : std::string();
}

} // namespace kit::script

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
