#include "net/script_tables.h"

#include <cmath>
#include <cstring>
#include <string>

namespace kit::net {

namespace {
std::string string_at(lua_State* L, int idx) {
  size_t len = 0;
  const char* s = lua_tolstring(L, idx, &len);
  return std::string(s, len);
}

// A header value: a string, or a number with no fraction written in decimal.
bool header_value(lua_State* L, int idx, std::string* out) {
  if (lua_type(L, idx) == LUA_TSTRING) {
    *out = string_at(L, idx);
    return true;
  }
  if (lua_type(L, idx) != LUA_TNUMBER) return false;
  lua_Number v = lua_tonumber(L, idx);
  if (!std::isfinite(v) || v != std::floor(v) || std::fabs(v) >= 9.2e18) return false;
  *out = std::to_string(static_cast<int64_t>(v));
  return true;
}

bool read_request_line(lua_State* L, int idx, http_request* request) {
  idx = idx < 0 ? lua_gettop(L) + idx + 1 : idx;
  lua_pushnil(L);
  while (lua_next(L, idx)) {
    if (lua_type(L, -2) != LUA_TSTRING || lua_type(L, -1) != LUA_TSTRING) {
      lua_pop(L, 2);
      return false;
    }
    std::string key = string_at(L, -2);
    std::string value = string_at(L, -1);
    lua_pop(L, 1);
    if (key == "Method") {
      request->method = value;
    } else if (key == "Request-URI") {
      request->uri = value;
    } else if (key == "HTTP-Version") {
      request->version = value;
    } else {
      lua_pop(L, 1);
      return false;
    }
  }
  return true;
}
} // namespace

bool read_headers_table(lua_State* L, int idx, header_list* headers) {
  if (lua_type(L, idx) != LUA_TTABLE) return false;
  idx = idx < 0 ? lua_gettop(L) + idx + 1 : idx;
  if (!lua_checkstack(L, 3)) return false;
  header_list result = *headers;
  lua_pushnil(L);
  while (lua_next(L, idx)) {
    std::string value;
    // lua_next needs the key as it is: check its type before any conversion.
    if (lua_type(L, -2) != LUA_TSTRING || !header_value(L, -1, &value)) {
      lua_pop(L, 2);
      return false;
    }
    result.set(string_at(L, -2), value);
    lua_pop(L, 1);
  }
  *headers = std::move(result);
  return true;
}

bool read_request_table(lua_State* L, int idx, http_request* request) {
  if (lua_type(L, idx) != LUA_TTABLE) return false;
  idx = idx < 0 ? lua_gettop(L) + idx + 1 : idx;
  if (!lua_checkstack(L, 4)) return false;
  http_request result;
  lua_pushnil(L);
  while (lua_next(L, idx)) {
    if (lua_type(L, -2) != LUA_TSTRING) {
      lua_pop(L, 2);
      return false;
    }
    int type = lua_type(L, -1);
    std::string key = string_at(L, -2);
    bool ok = true;
    if (type == LUA_TSTRING) {
      result.body = string_at(L, -1);
    } else if (type == LUA_TTABLE && key == "Request-Line") {
      ok = read_request_line(L, -1, &result);
    } else if (type == LUA_TTABLE && key == "Headers") {
      ok = read_headers_table(L, -1, &result.headers);
    } else {
      ok = false;
    }
    if (!ok) {
      lua_pop(L, 2);
      return false;
    }
    lua_pop(L, 1);
  }
  *request = std::move(result);
  return true;
}

} // namespace kit::net
