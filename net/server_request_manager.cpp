#include "net/server_request_manager.h"

#include "common/ini_file.h"
#include "host/app_paths.h"
#include "host/host_startup.h"
#include "net/server_replies.h"

namespace kit::net {

CLuaSubHttpRequest::~CLuaSubHttpRequest() {
  client_.close();
  requests_.clear();
}

int32_t CLuaSubHttpRequest::Queue(int32_t type, std::string url, reply_callback callback) {
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
    if (std::optional<Json::Value> root = parse_server_reply(response.body)) entry.callback(entry.type, *root);
  }
  Dispatch();
}

void CLuaSubHttpRequest::on_error(int32_t id, int) {
  requests_.erase(id);
  Dispatch();
}

} // namespace kit::net
