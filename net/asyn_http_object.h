// The script classes "kit.win32.net.asyn_http" (one HTTP client a script owns) and its
// factory, the global object "kit.win32.net.asyn_http.factory". The factory is owned by the
// host and holds every client the scripts have not collected yet, so the host's release
// ends their connections and gives back their callbacks at shutdown.
#pragma once
#include "engine/function_ref.h"
#include "engine/ui_engine.h"
#include "net/asyn_http.h"
#include "net/http_class_methods.h"

namespace kit::net {

class lua_asyn_http : public asyn_http_event {
public:
  static constexpr const char* kClassName = "kit.win32.net.asyn_http";
  static constexpr const char* kResponseEvent = "on_asyn_http_response";
  static constexpr const char* kErrorEvent = "on_asyn_http_error";

  lua_asyn_http() : client(this) {}
  void on_response(int32_t id, http_response& response) override;
  void on_error(int32_t id, int error) override;
  // The stored callback of an event name, or null for an unknown name.
  engine::function_ref* event_slot(const char* name, size_t length);

  asyn_http client;

private:
  engine::function_ref on_response_;
  engine::function_ref on_error_;
};

class asyn_http_factory : public script_instances<lua_asyn_http> {
public:
  static constexpr const char* kGlobalName = "kit.win32.net.asyn_http.factory";
  static constexpr const char* kClassName = "kit.win32.net.asyn_http.factory.class";

  // The factory object and the client class.
};

// Pushes the response table: "Status-Line" {HTTP-Version, Status-Code, Reason-Phrase},
// "Headers" (name -> value, a later duplicate wins), "Body".
void push_response_table(lua_State* L, const http_response& response);

} // namespace kit::net
