#include "net/data_report_manager.h"

#include "host/owned_objects.h"
#include "host/script_bridge.h"
#include "net/script_bindings.h"

template <>
struct kit::script::script_class<kit::net::CLuaDataReport> {
  static constexpr const char* name = "DataReport.Class";
};

namespace kit::net {

namespace {
CLuaDataReport* self(lua_State* L) { return script::self<CLuaDataReport>(L); }

// The text of a string or a number; other values give nothing.
bool text_of(lua_State* L, int idx, std::string* out) {
  int type = lua_type(L, idx);
  if (type != LUA_TSTRING && type != LUA_TNUMBER) return false;
  lua_pushvalue(L, idx);  // converting a copy keeps the traversal's key a number
  size_t length = 0;
  const char* text = lua_tolstring(L, -1, &length);
  out->assign(text, length);
  lua_pop(L, 1);
  return true;
}

int Report(lua_State* L) {
  CLuaDataReport* o = self(L);
  if (!o) return 0;
  int table = lua_gettop(L);
  if (table < 2 || lua_type(L, table) != LUA_TTABLE) return 0;
  std::map<std::string, std::string> fields;
  lua_pushnil(L);
  while (lua_next(L, table) != 0) {
    std::string name, value;
    if (text_of(L, -2, &name) && text_of(L, -1, &value)) fields[name] = value;
    lua_pop(L, 1);
  }
  o->Report(fields);
  return 0;
}

const UIS_Method kMethods[] = {
    {"Report", Report, 0},
    {nullptr, nullptr, 0},
};

void* getter(void*) { return host::owned<CLuaDataReport>(); }
} // namespace

void register_data_report(UIS_Env* env) {
  if (!env) return;
  UIS_RegisterGlobalObj(env, UIS_GlobalObjRecord{getter, nullptr, "DataReport.Manager", kit::script::script_class<kit::net::CLuaDataReport>::name, kMethods, nullptr});
}

} // namespace kit::net
