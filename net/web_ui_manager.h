// The scripts' web UI: the local web server with its settings taken from config.ini
// ("[Web] enabled", "[Web] port"), the built front end beside the program (web/) and
// uploads into the host's temp folder. Completed uploads reach the script's message
// function as a JSON text, {"upload": id, "path": ..., "name": ..., "size": n}, marked as
// coming from the server itself (a page cannot send a message so marked, so it cannot
// pass off a local path of its choosing as an upload), with the client the upload URL was
// made for (0: any page). The script face is
// "WebUI.Manager" (web_ui_binding.cpp). Host-owned; its destructor stops the server.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "net/web_server.h"

namespace kit::net {

struct web_settings {
  bool enabled = false;  // [Web] enabled=1: the package opens the web UI at every start
  uint16_t port = 0;     // [Web] port: a fixed port; 0 (or anything out of range) picks one
};
// Reads the [Web] section of a config.ini.
web_settings read_web_settings(const std::string& config_path);

class web_ui_manager {
public:
  // text is null when the page went away; from_server marks upload notices.
  using message_fn = std::function<void(uint64_t client, const std::string* text, bool from_server)>;

  web_ui_manager();
  // Starts (or restarts) the server; the opening URL, or "" with error() saying why.
  std::string start(message_fn on_message);
  void stop();
  web_server& server() { return server_; }
  const std::string& error() const { return error_; }
  const web_settings& settings() const { return settings_; }
  const std::string& url() const { return url_; }

  // Folders, from the program's paths unless set (tests).
  std::string static_dir;
  std::string temp_dir;

private:
  web_server server_;
  web_settings settings_;
  std::string error_;
  std::string url_;
};

// Opens url in the desktop's browser without waiting; false when there is no display or
// no opener.
bool open_in_browser(const std::string& url);

} // namespace kit::net
