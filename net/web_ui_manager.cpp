#include "net/web_ui_manager.h"

#include <json/json.h>

#include "common/ini_file.h"
#include "host/app_paths.h"
#include "host/host_startup.h"
#include "platform/desktop_session.h"
#include "platform/launch.h"

namespace kit::net {

web_settings read_web_settings(const std::string& config_path) {
  web_settings s;
  auto enabled = kit::ini::read_value(config_path, "Web", "enabled");
  s.enabled = enabled && (*enabled == "1" || *enabled == "true" || *enabled == "yes");
  if (auto port = kit::ini::read_value(config_path, "Web", "port")) {
    try {
      long value = std::stol(*port);
      if (value > 0 && value < 65536) s.port = static_cast<uint16_t>(value);
    } catch (...) {
    }
  }
  return s;
}

web_ui_manager::web_ui_manager() {
  if (CAppPaths* paths = GetAppPaths()) {
    settings_ = read_web_settings(paths->GetExeDir() + "config.ini");
    static_dir = paths->GetExeDir() + "web";
    temp_dir = paths->GetTempDir();
    while (temp_dir.size() > 1 && temp_dir.back() == '/') temp_dir.pop_back();
  }
}

std::string web_ui_manager::start(message_fn on_message) {
  web_server::options opts;
  opts.static_dir = static_dir;
  opts.temp_dir = temp_dir;
  opts.port = settings_.port;
  auto on_upload = [on_message](const web_server::upload& u) {
    if (!on_message) return;
    Json::Value v(Json::objectValue);
    v["upload"] = Json::UInt64(u.id);
    v["path"] = u.path;
    v["name"] = u.name;
    v["size"] = Json::UInt64(u.size);
    Json::StreamWriterBuilder b;
    b["indentation"] = "";
    b["emitUTF8"] = true;
    std::string text = Json::writeString(b, v);
    on_message(u.client, &text, true);
  };
  auto on_page = [on_message](uint64_t client, const std::string* text) {
    if (on_message) on_message(client, text, false);
  };
  url_ = server_.start(opts, on_page, on_upload);
  error_ = server_.error();
  return url_;
}

void web_ui_manager::stop() {
  server_.stop();
  url_.clear();
}

bool open_in_browser(const std::string& url) {
  if (!kit::platform::has_display()) {
    kit::platform::note_no_desktop("opening the web UI in a browser");
    return false;
  }
  return kit::platform::launch_detached({"xdg-open", url}, {}, 0).started;
}

} // namespace kit::net
