#include "net/asyn_http_object.h"

#include <cstring>
#include <string_view>

#include "host/owned_objects.h"
#include "host/script_bridge.h"
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

asyn_http_factory::~asyn_http_factory() {
  for (lua_asyn_http* client : live_) delete client;
}

lua_asyn_http* asyn_http_factory::create() {
  auto* client = new lua_asyn_http;
  live_.insert(client);
  return client;
}

bool asyn_http_factory::destroy(lua_asyn_http* client) {
  if (live_.erase(client) == 0) return false;
  delete client;
  return true;
}

namespace {
lua_asyn_http* self(lua_State* L) { return script::self<lua_asyn_http>(L, lua_asyn_http::kClassName); }

int32_t request_id(lua_State* L, int idx) {
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(script::to_int64(lua_tonumber(L, idx)))));
}

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

int is_requesting(lua_State* L) {
  lua_asyn_http* object = self(L);
  if (!object) return 0;
  lua_pushboolean(L, object->client.is_requesting());
  return 1;
}

int close(lua_State* L) {
  if (lua_asyn_http* object = self(L)) object->client.close();
  return 0;
}

int attach_event(lua_State* L) {
  lua_asyn_http* object = self(L);
  return object ? attach_named_event(L, object) : 0;
}

int detach_event(lua_State* L) {
  lua_asyn_http* object = self(L);
  return object ? detach_named_event(L, object) : 0;
}

int gc(lua_State* L) {
  if (!self(L)) return 0;
  auto** slot = static_cast<lua_asyn_http**>(lua_touserdata(L, 1));
  // Once the factory is gone, so is every client it made.
  if (auto* factory = host::find_owned<asyn_http_factory>()) factory->destroy(*slot);
  *slot = nullptr;  // a resurrected object must not reach freed memory
  return 0;
}

int create_instance(lua_State* L) {
  auto* factory = script::self<asyn_http_factory>(L, asyn_http_factory::kClassName);
  if (!factory) return 0;
  UIS_PushObject(L, lua_asyn_http::kClassName, factory->create());
  return 1;
}

const UIS_Method kClientMethods[] = {
    {"request", request, 0},
    {"is_requesting", is_requesting, 0},
    {"close", close, 0},
    {"attach_event", attach_event, 0},
    {"detach_event", detach_event, 0},
    {"__gc", gc, 0},
    {nullptr, nullptr, 0},
};

const UIS_Method kFactoryMethods[] = {
    {"create_instance", create_instance, 0},
    {nullptr, nullptr, 0},
};

void* getter(void*) { return host::owned<asyn_http_factory>(); }
} // namespace

void asyn_http_factory::Register(UIS_Env* env) {
  if (!env) return;
  UIS_RegisterGlobalObj(env, UIS_GlobalObjRecord{getter, nullptr, kGlobalName, kClassName, kFactoryMethods, nullptr});
}

void asyn_http_factory::RegisterClass(UIS_Env* env) {
  if (!env) return;
  UIS_RegisterClass(env, lua_asyn_http::kClassName, kClientMethods, 0, 0);
}

} // namespace kit::net
