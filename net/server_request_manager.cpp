#include "net/server_request_manager.h"

#include "common/ini_file.h"
#include "host/app_paths.h"
#include "host/host_startup.h"
#include "net/server_replies.h"
#include "platform/ui_loop.h"

namespace kit::net {

CLuaSubHttpRequest::~CLuaSubHttpRequest() {
  client_.close();
  requests_.clear();
}

int32_t CLuaSubHttpRequest::Queue(int32_t type, std::string url, reply_callback callback,
                                  failure_callback on_failure) {
  int32_t id = static_cast<int32_t>(++counter_);
  server_request& entry = requests_[id];
  entry.type = type;
  entry.callback = std::move(callback);
  entry.on_failure = std::move(on_failure);
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
    // Told from the loop, not from inside the script call that queued the request.
    if (failure_callback told = std::move(it->second.on_failure)) {
      kit::platform::ui_loop::instance().post([told] { told("address", 0); });
    }
    it = requests_.erase(it);
  }
}

void CLuaSubHttpRequest::on_response(int32_t id, http_response& response) {
  auto it = requests_.find(id);
  if (it == requests_.end()) return;
  server_request entry = std::move(it->second);
  requests_.erase(it);
  std::optional<Json::Value> root = parse_server_reply(response.body);
  if (root) {
    if (entry.callback) entry.callback(entry.type, *root);
  } else if (entry.on_failure) {
    bool answered = response.status >= 200 && response.status < 300;
    entry.on_failure(answered ? "reply" : "http", response.status);
  }
  Dispatch();
}

void CLuaSubHttpRequest::on_error(int32_t id, int error) {
  auto it = requests_.find(id);
  if (it == requests_.end()) return;
  failure_callback told = std::move(it->second.on_failure);
  requests_.erase(it);
  if (told) told("network", error);
  Dispatch();
}

} // namespace kit::net
