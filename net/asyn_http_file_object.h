// The script classes "kit.win32.net.asyn_http_file" (one download a script owns) and its
// factory, the global object "kit.win32.net.asyn_http_file.factory". As with the client
// class, the host-owned factory holds every download not collected yet.
#pragma once
#include "engine/function_ref.h"
#include "engine/ui_engine.h"
#include "net/asyn_http_file.h"
#include "net/http_class_methods.h"

namespace kit::net {

class lua_asyn_http_file : public asyn_http_file_event {
public:
  static constexpr const char* kClassName = "kit.win32.net.asyn_http_file";
  static constexpr const char* kReadyEvent = "on_asyn_http_file_ready";
  static constexpr const char* kErrorEvent = "on_asyn_http_file_error";

  lua_asyn_http_file() : file(this) {}
  void on_ready(int32_t id, const std::string& url, uint64_t size, const std::string& path, int result) override;
  void on_error(int32_t id, const std::string& url, const download_error& error) override;
  engine::function_ref* event_slot(const char* name, size_t length);

  asyn_http_file file;

private:
  engine::function_ref on_ready_;
  engine::function_ref on_error_;
};

class asyn_http_file_factory : public script_instances<lua_asyn_http_file> {
public:
  static constexpr const char* kGlobalName = "kit.win32.net.asyn_http_file.factory";
  static constexpr const char* kClassName = "kit.win32.net.asyn_http_file.factory.class";

};

} // namespace kit::net
