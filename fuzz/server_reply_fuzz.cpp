// Hostile JSON replies of the web service: the parse must end (bounded values and nesting)
// and every reply kind must turn whatever parsed into script tables without failing.
#include <cstdint>
#include <string>

#include <lua.hpp>

#include "net/server_replies.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static lua_State* L = luaL_newstate();
  std::string body(reinterpret_cast<const char*>(data), size);
  std::optional<Json::Value> root = kit::net::parse_server_reply(body);
  if (!root) return 0;
  for (int32_t type = 1; type <= 5; ++type) {
    int top = lua_gettop(L);
    kit::net::push_server_reply(L, type, *root);
    lua_settop(L, top);
  }
  lua_gc(L, LUA_GCCOLLECT, 0);
  return 0;
}
