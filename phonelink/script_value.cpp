#include "phonelink/script_value.h"

#include <lua.hpp>

#include "host/script_bridge.h"
#include "phonelink/record_list.h"

namespace kit::phonelink {

void push_script_value(lua_State* L, const script_value& v) {
  luaL_checkstack(L, 4, "script value");
  switch (v.kind) {
    case script_value::integer: kit::script::push_int32(L, v.i); break;
    case script_value::number: lua_pushnumber(L, v.n); break;
    case script_value::string: kit::script::push_string(L, v.s); break;
    case script_value::list:
      lua_createtable(L, static_cast<int>(v.items.size()), 0);
      for (size_t k = 0; k < v.items.size(); ++k) {
        push_script_value(L, v.items[k]);
        lua_rawseti(L, -2, static_cast<int>(k + 1));
      }
      break;
    case script_value::record:
      lua_createtable(L, 0, static_cast<int>(v.items.size()));
      for (size_t k = 0; k < v.items.size(); ++k) {
        push_script_value(L, v.items[k]);
        lua_setfield(L, -2, v.names[k].c_str());
      }
      break;
    case script_value::records:
      if (v.pending) {
        v.pending->push_next(L);
      } else {
        lua_createtable(L, 0, 0);
      }
      break;
  }
}

record_list* pending_records(const script_args& args) {
  for (const auto& v : args)
    if (v.kind == script_value::records) return v.pending.get();
  return nullptr;
}

} // namespace kit::phonelink
