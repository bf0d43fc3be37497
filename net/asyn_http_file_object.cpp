#include "net/asyn_http_file_object.h"

#include <string_view>

#include "common/text_convert.h"
#include "host/owned_objects.h"
#include "host/script_bridge.h"
#include "net/script_bindings.h"
#include "net/asyn_http_object.h"
#include "net/script_tables.h"

namespace kit::net {

void lua_asyn_http_file::on_ready(int32_t id, const std::string& url, uint64_t, const std::string& path,
                                  int result) {
  if (!on_ready_) return;
  script::call_event(on_ready_, [&](lua_State* L) {
    script::push_int32(L, id);
    script::push_string(L, url);
    script::push_string(L, path);
    script::push_int32(L, result);
    return 4;
  });
}

void lua_asyn_http_file::on_error(int32_t id, const std::string& url, const download_error& error) {
  if (!on_error_) return;
  script::call_event(on_error_, [&](lua_State* L) {
    script::push_int32(L, id);
    script::push_string(L, url);
    script::push_int32(L, error.code);
    return 3;
  });
}

script::function_ref* lua_asyn_http_file::event_slot(const char* name, size_t length) {
  std::string_view n(name, length);
  if (n == kReadyEvent) return &on_ready_;
  if (n == kErrorEvent) return &on_error_;
  return nullptr;
}

namespace {
using methods = http_class_methods<lua_asyn_http_file, asyn_http_file_factory, &lua_asyn_http_file::file>;
lua_asyn_http_file* self(lua_State* L) { return methods::self(L); }

// request_file(id, url, headers table, destination path)
int request_file(lua_State* L) {
  lua_asyn_http_file* object = self(L);
  if (!object) return 0;
  int32_t id = request_id(L, 2);
  header_list headers;
  if (!read_headers_table(L, 4, &headers)) {
    lua_pushnil(L);
    return 1;
  }
  std::string url = lua_type(L, 3) == LUA_TSTRING ? script::to_string(L, 3) : "";
  std::string path = lua_type(L, 5) == LUA_TSTRING ? script::to_string(L, 5) : "";
  lua_pushboolean(L, object->file.request_file(headers, path, id, url));
  return 1;
}

} // namespace

void register_http_file(UIS_Env* env) { methods::register_objects(env, "request_file", request_file); }

} // namespace kit::net
