#include "utilities/tray_object.h"

#include <algorithm>

#include "host/owned_objects.h"
#include "host/script_bridge.h"
#include "utilities/script_bindings.h"

template <>
struct kit::script::script_class<CLuaNotifyTray> {
  static constexpr const char* name = "Tray.Manager.Class";
};


namespace {

CLuaNotifyTray* tray(lua_State* L) {
  auto* t = static_cast<CLuaNotifyTray*>(UIS_ToObject(L, 1, kit::script::script_class<CLuaNotifyTray>::name));
  if (!t) luaL_argerror(L, 1, "Tray.Manager expected");
  return t;
}

// CreateNotifyTray() -> true when the icon is shown.
int CreateNotifyTray(lua_State* L) {
  lua_pushboolean(L, tray(L)->Create());
  return 1;
}
int ModifyTrayTips(lua_State* L) {
  CLuaNotifyTray* t = tray(L);
  size_t n = 0;
  const char* text = luaL_checklstring(L, 2, &n);
  t->SetTips(std::string(text, n));
  return 0;
}
int ModifyTrayIcon(lua_State* L) {
  CLuaNotifyTray* t = tray(L);
  lua_Number n = luaL_checknumber(L, 2);
  // Resource numbers are 16-bit; anything else names no icon.
  t->SetIcon(n >= 0 && n <= 65535 ? static_cast<int64_t>(n) : -1);
  return 0;
}
int DeleteNotifyTray(lua_State* L) {
  tray(L)->Delete();
  return 0;
}
int AttachEvent(lua_State* L) { return kit::script::attach_event(L, tray(L)->Events()); }
int DetachEvent(lua_State* L) { return kit::script::detach_event(L, tray(L)->Events()); }

const UIS_Method kMethods[] = {{"CreateNotifyTray", CreateNotifyTray, 0}, {"ModifyTrayTips", ModifyTrayTips, 0},
                               {"ModifyTrayIcon", ModifyTrayIcon, 0},     {"DeleteNotifyTray", DeleteNotifyTray, 0},
                               {"AttachEvent", AttachEvent, 0},           {"DetachEvent", DetachEvent, 0},
                               {nullptr, nullptr, 0}};

void* GetTray(void*) {
  CLuaNotifyTray* t = kit::host::owned<CLuaNotifyTray>();
  // A click reaches the attached functions as (icon number 0, mouse message).
  t->SetClickHandler([t](int message) {
    kit::script::fire_events(t->Events(), [message](lua_State* L) {
      lua_pushinteger(L, 0);
      lua_pushinteger(L, message);
      return 2;
    });
  });
  return t;
}

} // namespace

void kit::utilities::register_tray(UIS_Env* env) {
  UIS_RegisterGlobalObj(env, {GetTray, nullptr, "Tray.Manager", kit::script::script_class<CLuaNotifyTray>::name, kMethods, nullptr});
}
