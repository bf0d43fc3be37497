// The private nginx's configuration, address and logs, the same on every system.
#include <chrono>
#include <thread>

#include "support/nginx_fixture.h"

namespace testsupport {

std::string nginx_config(const std::string& d, uint16_t port, bool as_root, const std::string& extra_http,
                         const std::string& extra_server) {
  std::string conf;
  if (as_root) conf += "user root;\n";
  conf += "daemon off;\nmaster_process off;\nworker_processes 1;\n";
  conf += "pid " + d + "/nginx.pid;\nerror_log " + d + "/logs/error.log info;\n";
  conf += "events { worker_connections 64; }\n";
  conf += "http {\n";
  conf += "  default_type application/octet-stream;\n";
  conf += "  log_format conn '$connection $status $request_uri';\n";
  conf += "  access_log " + d + "/logs/access.log conn;\n";
  conf += "  client_body_temp_path " + d + "/temp/body;\n  proxy_temp_path " + d + "/temp/proxy;\n";
  conf += "  fastcgi_temp_path " + d + "/temp/fastcgi;\n  uwsgi_temp_path " + d + "/temp/uwsgi;\n";
  conf += "  scgi_temp_path " + d + "/temp/scgi;\n";
  // 304 for any copy at least as new as the file, not only for one of the same second.
  conf += "  keepalive_timeout 60s;\n  sendfile on;\n  if_modified_since before;\n" + extra_http + "\n";
  conf += "  server {\n    listen 127.0.0.1:" + std::to_string(port) + ";\n    root " + d + "/html;\n";
  conf += extra_server + "\n  }\n}\n";
  return conf;
}

std::string nginx_server::url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::string nginx_server::access_log(size_t lines) const {
  std::string text;
  for (int i = 0; i < 1000; ++i) {
    text = file_exists(dir_ / "logs/access.log") ? read_file(dir_ / "logs/access.log") : "";
    size_t count = 0;
    for (char c : text) count += c == '\n';
    if (count >= lines) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return text;
}

std::string nginx_server::error_log() const {
  return file_exists(dir_ / "logs/error.log") ? read_file(dir_ / "logs/error.log") : "";
}

} // namespace testsupport
