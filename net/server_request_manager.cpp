#include "net/server_request_manager.h"

#include "common/ini_file.h"
#include "host/app_paths.h"
#include "host/host_startup.h"
#include "host/owned_objects.h"
#include "host/script_bridge.h"
#include "net/server_replies.h"

namespace kit::net {

CLuaSubHttpRequest::~CLuaSubHttpRequest() {
  client_.close();
  requests_.clear();
}

int32_t CLuaSubHttpRequest::Queue(int32_t type, std::string url, script::function_ref callback) {
  int32_t id = static_cast<int32_t>(++counter_);
  server_request& entry = requests_[id];
  entry.type = type;
  entry.callback = std::move(callback);
  entry.url = std::move(url);
  Dispatch();
  return id;
}

std::string CLuaSubHttpRequest::UpdateUrl() {
  std::string server = kDefaultUpdateServer;
  if (CAppPaths* paths = GetAppPaths()) {
    auto configured = ini::read_value(paths->GetExeDir() + "config.ini", "Update", "server");
    if (configured && !configured->empty()) server = *configured;
  }
  if (server.rfind("http://", 0) == 0) server = server.substr(7);
  while (!server.empty() && server.back() == '/') server.pop_back();
  return "http://" + server + "/";
}

void CLuaSubHttpRequest::Dispatch() {
  if (client_.is_requesting()) return;
  client_.close();
  for (auto it = requests_.begin(); it != requests_.end();) {
    if (it->second.state != 1) {
      ++it;
      continue;
    }
    it->second.state = 2;
    if (client_.request(it->first, it->second.url)) return;
    it = requests_.erase(it);
  }
}

void CLuaSubHttpRequest::on_response(int32_t id, http_response& response) {
  auto it = requests_.find(id);
  if (it == requests_.end()) return;
  server_request entry = std::move(it->second);
  requests_.erase(it);
  if (entry.callback) {
    if (std::optional<Json::Value> root = parse_server_reply(response.body)) {
      script::call_event(entry.callback, [&](lua_State* L) {
        push_server_reply(L, entry.type, *root);
        return 1;
      });
    }
  }
  Dispatch();
}

void CLuaSubHttpRequest::on_error(int32_t id, int) {
  requests_.erase(id);
  Dispatch();
}

namespace {
CLuaSubHttpRequest* self(lua_State* L) {
  return script::self<CLuaSubHttpRequest>(L, CLuaSubHttpRequest::kClassName);
}

int HttpRequest(lua_State* L) {
  CLuaSubHttpRequest* o = self(L);
  if (!o) return 0;
  auto type = static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(script::to_int64(lua_tonumber(L, 2)))));
  std::string url = lua_type(L, 3) == LUA_TSTRING ? script::to_string(L, 3) : std::string();
  script::push_int32(L, o->Queue(type, std::move(url), script::function_ref::at(L, 4)));
  return 1;
}

int CheckUpdate(lua_State* L) {
  CLuaSubHttpRequest* o = self(L);
  if (!o) return 0;
  script::push_int32(L, o->Queue(kReplyUpdate, CLuaSubHttpRequest::UpdateUrl(), script::function_ref::at(L, 2)));
  return 1;
}

const UIS_Method kMethods[] = {
    {"HttpRequest", HttpRequest, 0},
    {"CheckUpdate", CheckUpdate, 0},
    {nullptr, nullptr, 0},
};

void* getter(void*) { return host::owned<CLuaSubHttpRequest>(); }
} // namespace

void CLuaSubHttpRequest::Register(UIS_Env* env) {
  if (!env) return;
  UIS_RegisterGlobalObj(env, UIS_GlobalObjRecord{getter, nullptr, kGlobalName, kClassName, kMethods, nullptr});
}

} // namespace kit::net
