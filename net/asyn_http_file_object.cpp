#include "net/asyn_http_file_object.h"

#include <string_view>

#include "common/text_convert.h"
#include "host/owned_objects.h"
#include "host/script_bridge.h"
#include "net/asyn_http_object.h"
#include "net/script_tables.h"

namespace kit::net {

void lua_asyn_http_file::on_ready(int32_t id, const std::string& url, uint64_t, const std::u16string& path,
                                  int result) {
  if (!on_ready_) return;
  script::call_event(on_ready_, [&](lua_State* L) {
    script::push_int32(L, id);
    script::push_string(L, url);
    script::push_utf16(L, path);
    script::push_int32(L, result);
    return 4;
  });
}

void lua_asyn_http_file::on_error(int32_t id, const std::string& url, int error) {
  if (!on_error_) return;
  script::call_event(on_error_, [&](lua_State* L) {
    script::push_int32(L, id);
    script::push_string(L, url);
    script::push_int32(L, error);
    return 3;
  });
}

script::function_ref* lua_asyn_http_file::event_slot(const char* name, size_t length) {
  std::string_view n(name, length);
  if (n == kReadyEvent) return &on_ready_;
  if (n == kErrorEvent) return &on_error_;
  return nullptr;
}

asyn_http_file_factory::~asyn_http_file_factory() {
  for (lua_asyn_http_file* file : live_) delete file;
}

lua_asyn_http_file* asyn_http_file_factory::create() {
  auto* file = new lua_asyn_http_file;
  live_.insert(file);
  return file;
}

bool asyn_http_file_factory::destroy(lua_asyn_http_file* file) {
  if (live_.erase(file) == 0) return false;
  delete file;
  return true;
}

namespace {
lua_asyn_http_file* self(lua_State* L) { return script::self<lua_asyn_http_file>(L, lua_asyn_http_file::kClassName); }

// request_file(id, url, headers table, destination path)
int request_file(lua_State* L) {
  lua_asyn_http_file* object = self(L);
  if (!object) return 0;
  auto id = static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(script::to_int64(lua_tonumber(L, 2)))));
  header_list headers;
  if (!read_headers_table(L, 4, &headers)) {
    lua_pushnil(L);
    return 1;
  }
  std::string url = lua_type(L, 3) == LUA_TSTRING ? script::to_string(L, 3) : "";
  std::string path = lua_type(L, 5) == LUA_TSTRING ? script::to_string(L, 5) : "";
  lua_pushboolean(L, object->file.request_file(headers, text::utf8_to_utf16(path), id, url));
  return 1;
}

int is_requesting(lua_State* L) {
  lua_asyn_http_file* object = self(L);
  if (!object) return 0;
  lua_pushboolean(L, object->file.is_requesting());
  return 1;
}

int close(lua_State* L) {
  if (lua_asyn_http_file* object = self(L)) object->file.close();
  return 0;
}

int attach_event(lua_State* L) {
  lua_asyn_http_file* object = self(L);
  return object ? attach_named_event(L, object) : 0;
}

int detach_event(lua_State* L) {
  lua_asyn_http_file* object = self(L);
  return object ? detach_named_event(L, object) : 0;
}

int gc(lua_State* L) {
  if (!self(L)) return 0;
  auto** slot = static_cast<lua_asyn_http_file**>(lua_touserdata(L, 1));
  if (auto* factory = host::find_owned<asyn_http_file_factory>()) factory->destroy(*slot);
  *slot = nullptr;
  return 0;
}

int create_instance(lua_State* L) {
  auto* factory = script::self<asyn_http_file_factory>(L, asyn_http_file_factory::kClassName);
  if (!factory) return 0;
  UIS_PushObject(L, lua_asyn_http_file::kClassName, factory->create());
  return 1;
}

const UIS_Method kFileMethods[] = {
    {"request_file", request_file, 0},
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

void* getter(void*) { return host::owned<asyn_http_file_factory>(); }
} // namespace

void asyn_http_file_factory::Register(UIS_Env* env) {
  if (!env) return;
  UIS_RegisterGlobalObj(env, UIS_GlobalObjRecord{getter, nullptr, kGlobalName, kClassName, kFactoryMethods, nullptr});
}

void asyn_http_file_factory::RegisterClass(UIS_Env* env) {
  if (!env) return;
  UIS_RegisterClass(env, lua_asyn_http_file::kClassName, kFileMethods, 0, 0);
}

} // namespace kit::net
