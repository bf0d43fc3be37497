#include "net/asyn_http_object.h"

#include <cstring>
#include <string_view>

#include "host/owned_objects.h"
#include "host/script_bridge.h"
#include "net/script_bindings.h"
#include "net/script_tables.h"

namespace kit::net {

void push_response_table(lua_State* L, const http_response& response) {
  lua_createtable(L, 0, 3);
  lua_createtable(L, 0, 3);
  script::push_string(L, response.version);
  lua_setfield(L, -2, "HTTP-Version");
  script::push_int32(L, response.status);
  lua_setfield(L, -2, "Status-Code");
  script::push_string(L, response.reason);
  lua_setfield(L, -2, "Reason-Phrase");
  lua_setfield(L, -2, "Status-Line");
  lua_createtable(L, 0, static_cast<int>(response.headers.size()));
  for (const auto& [name, value] : response.headers.entries()) {
    script::push_string(L, name);
    script::push_string(L, value);
    lua_rawset(L, -3);
  }
  lua_setfield(L, -2, "Headers");
  script::push_string(L, response.body);
  lua_setfield(L, -2, "Body");
}

void lua_asyn_http::on_response(int32_t id, http_response& response) {
  if (!on_response_) return;
  script::call_event(on_response_, [id, &response](lua_State* L) {
    script::push_int32(L, id);
    push_response_table(L, response);
    return 2;
  });
}

void lua_asyn_http::on_error(int32_t id, int error) {
  if (!on_error_) return;
  script::call_event(on_error_, [id, error](lua_State* L) {
    script::push_int32(L, id);
    script::push_int32(L, error);
    return 2;
  });
}

script::function_ref* lua_asyn_http::event_slot(const char* name, size_t length) {
  std::string_view n(name, length);
  if (n == kResponseEvent) return &on_response_;
  if (n == kErrorEvent) return &on_error_;
  return nullptr;
}

namespace {
using methods = http_class_methods<lua_asyn_http, asyn_http_factory, &lua_asyn_http::client>;
lua_asyn_http* self(lua_State* L) { return methods::self(L); }

// request(id, url) | request(id, request table) | request(id, url, headers table)
int request(lua_State* L) {
  lua_asyn_http* object = self(L);
  if (!object) return 0;
  int32_t id = request_id(L, 2);
  int n = lua_gettop(L);
  bool started = false;
  if (n == 3 && lua_type(L, 3) == LUA_TSTRING) {
    started = object->client.request(id, script::to_string(L, 3));
  } else if (n == 3 && lua_type(L, 3) == LUA_TTABLE) {
    http_request req;
    if (!read_request_table(L, 3, &req)) {
      lua_pushnil(L);
      return 1;
    }
    started = object->client.send_request(id, req);
  } else {
    header_list headers;
    if (!read_headers_table(L, 4, &headers)) {
      lua_pushnil(L);
      return 1;
    }
    started = object->client.request(id, lua_type(L, 3) == LUA_TSTRING ? script::to_string(L, 3) : "", headers);
  }
  lua_pushboolean(L, started);
  return 1;
}

} // namespace

void register_http_client(UIS_Env* env) { methods::register_objects(env, "request", request); }

} // namespace kit::net
