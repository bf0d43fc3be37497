#include "net/server_request_manager.h"

#include <memory>

#include "host/owned_objects.h"
#include "host/script_bridge.h"
#include "net/script_bindings.h"
#include "net/server_replies.h"

template <>
struct kit::script::script_class<kit::net::CLuaSubHttpRequest> {
  static constexpr const char* name = "HttpRequest.Manager.Class";
};

namespace kit::net {

namespace {
// The reply table for the script function at idx (no callback when it is none).
CLuaSubHttpRequest::reply_callback reply_to(lua_State* L, int idx) {
  auto function = std::make_shared<engine::function_ref>(engine::function_ref::at(L, idx));
  if (!*function) return {};
  return [function](int32_t type, const Json::Value& root) {
    script::call_event(*function, [&](lua_State* S) {
      push_server_reply(S, type, root);
      return 1;
    });
  };
}

// The failure function at idx: (what, code), see CLuaSubHttpRequest::failure_callback.
CLuaSubHttpRequest::failure_callback failure_to(lua_State* L, int idx) {
  auto function = std::make_shared<engine::function_ref>(engine::function_ref::at(L, idx));
  if (!*function) return {};
  return [function](const char* what, int code) {
    script::call_event(*function, [&](lua_State* S) {
      lua_pushstring(S, what);
      script::push_int32(S, code);
      return 2;
    });
  };
}

CLuaSubHttpRequest* self(lua_State* L) {
  return script::self<CLuaSubHttpRequest>(L);
}

int HttpRequest(lua_State* L) {
  CLuaSubHttpRequest* o = self(L);
  if (!o) return 0;
  auto type = static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(script::to_int64(lua_tonumber(L, 2)))));
  std::string url = lua_type(L, 3) == LUA_TSTRING ? script::to_string(L, 3) : std::string();
  script::push_int32(L, o->Queue(type, std::move(url), reply_to(L, 4), failure_to(L, 5)));
  return 1;
}

int CheckUpdate(lua_State* L) {
  CLuaSubHttpRequest* o = self(L);
  if (!o) return 0;
  script::push_int32(L, o->Queue(kReplyUpdate, CLuaSubHttpRequest::UpdateUrl(), reply_to(L, 2), failure_to(L, 3)));
  return 1;
}

const UIS_Method kMethods[] = {
    {"HttpRequest", HttpRequest, 0},
    {"CheckUpdate", CheckUpdate, 0},
    {nullptr, nullptr, 0},
};

void* getter(void*) { return host::owned<CLuaSubHttpRequest>(); }
} // namespace

void register_server_request(UIS_Env* env) {
  if (!env) return;
  UIS_RegisterGlobalObj(env, UIS_GlobalObjRecord{getter, nullptr, "HttpRequest.Manager", kit::script::script_class<kit::net::CLuaSubHttpRequest>::name, kMethods, nullptr});
}

} // namespace kit::net
