// Win32Shell.Object: the registry (the per-user registry file).
#include "host/script_bridge.h"
#include "utilities/registry_store.h"
#include "utilities/win32_shell_methods.h"
#include "utilities/win32_shell_object.h"

namespace kit::utilities::shell {
namespace {

constexpr int kCurrentConfig = 4;

// The root and subkey of arguments 2 and 3; nothing when either is missing or the root is
// not one of the five names.
std::optional<std::pair<int, std::string>> key_args(lua_State* L) {
  if (lua_type(L, 2) != LUA_TSTRING || lua_type(L, 3) != LUA_TSTRING) return std::nullopt;
  auto root = registry_store::root_of(lua_tostring(L, 2));
  if (!root) return std::nullopt;
  return std::make_pair(*root, kit::script::to_string(L, 3));
}

registry_store& store(lua_State* L) {
  return shell(L)->registry();
}

} // namespace

int DeleteRegKey(lua_State* L) {
  if (!is_shell(L)) return 0;
  auto key = key_args(L);
  lua_pushboolean(L, key && store(L).delete_key(key->first, key->second));
  return 1;
}

int CreateRegKey(lua_State* L) {
  if (!is_shell(L)) return 0;
  auto key = key_args(L);
  lua_pushboolean(L, key && store(L).create_key(key->first, key->second));
  return 1;
}

// A number is written as a DWORD (its low 32 bits), a text as a string value.
int SetRegValue(lua_State* L) {
  if (!is_shell(L)) return 0;
  auto key = key_args(L);
  int type = lua_type(L, 5);
  if (!key || lua_type(L, 4) != LUA_TSTRING || (type != LUA_TNUMBER && type != LUA_TSTRING)) {
    lua_pushboolean(L, 0);
    return 1;
  }
  registry_value value = type == LUA_TNUMBER
                             ? registry_value(static_cast<uint32_t>(kit::engine::to_int64(lua_tonumber(L, 5))))
                             : registry_value(kit::script::to_string(L, 5));
  lua_pushboolean(L, store(L).set_value(key->first, key->second, kit::script::to_string(L, 4), value));
  return 1;
}

// A DWORD as an integer, a string as text, "" for anything else; nil for a missing
// argument. The current-config root is refused here (it gives "") though the other
// registry methods accept it.
int QueryRegValue(lua_State* L) {
  if (!is_shell(L)) return 0;
  if (lua_isnoneornil(L, 2) || lua_isnoneornil(L, 3) || lua_isnoneornil(L, 4)) return 0;
  auto key = key_args(L);
  std::optional<registry_value> value;
  if (key && key->first != kCurrentConfig && lua_type(L, 4) == LUA_TSTRING)
    value = store(L).query_value(key->first, key->second, lua_tostring(L, 4));
  if (value && std::holds_alternative<uint32_t>(*value)) kit::script::push_int32(L, std::get<uint32_t>(*value));
  else kit::script::push_string(L, value ? std::get<std::string>(*value) : std::string());
  return 1;
}

} // namespace kit::utilities::shell
