// The script classes "kit.win32.net.asyn_http" (one HTTP client a script owns) and its
// factory, the global object "kit.win32.net.asyn_http.factory". The factory is owned by the
// host and holds every client the scripts have not collected yet, so the host's release
// ends their connections and gives back their callbacks at shutdown.
#pragma once
#include <set>

#include "engine/function_ref.h"
#include "engine/ui_engine.h"
#include "net/asyn_http.h"

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
  script::function_ref* event_slot(const char* name, size_t length);

  asyn_http client;

private:
  script::function_ref on_response_;
  script::function_ref on_error_;
};

class asyn_http_factory {
public:
  static constexpr const char* kGlobalName = "kit.win32.net.asyn_http.factory";
  static constexpr const char* kClassName = "kit.win32.net.asyn_http.factory.class";

  ~asyn_http_factory();
  // The factory object and the client class.
  static void Register(UIS_Env* env);
  static void RegisterClass(UIS_Env* env);

  lua_asyn_http* create();
  // The collector's deletion; false when the client is not (or no longer) one of ours.
  bool destroy(lua_asyn_http* client);

private:
  std::set<lua_asyn_http*> live_;
};

// Pushes the response table: "Status-Line" {HTTP-Version, Status-Code, Reason-Phrase},
// "Headers" (name -> value, a later duplicate wins), "Body".
void push_response_table(lua_State* L, const http_response& response);

// attach_event / detach_event of the two HTTP classes: the slot for the event name at
// argument 2 comes from find; results as the classes document.
template <class T>
int attach_named_event(lua_State* L, T* object) {
  size_t len = 0;
  const char* name = lua_tolstring(L, 2, &len);
  script::function_ref* slot = name ? object->event_slot(name, len) : nullptr;
  if (!slot || lua_type(L, 3) != LUA_TFUNCTION) {
    lua_pushboolean(L, 0);
    return 1;
  }
  *slot = script::function_ref::at(L, 3);
  lua_pushboolean(L, static_cast<bool>(*slot));
  return 1;
}

template <class T>
int detach_named_event(lua_State* L, T* object) {
  size_t len = 0;
  const char* name = lua_tolstring(L, 2, &len);
  script::function_ref* slot = name ? object->event_slot(name, len) : nullptr;
  bool had = slot && *slot;
  if (slot) slot->reset();
  lua_pushboolean(L, had);
  return 1;
}

} // namespace kit::net
