// A private nginx on a free loopback port for HTTP tests and benchmarks: its own prefix,
// configuration, document root, pid, logs and temp folders under a temporary folder,
// running in the foreground as the current user (root included), never touching
// /etc/nginx. The access log writes one line per request: "<connection> <status> <uri>".
#pragma once
#include <cstdint>
#include <string>

#include "support/temp_dir.h"

namespace testsupport {

class nginx_server {
public:
  // extra_http: directives added to the http block (gzip settings, say).
  explicit nginx_server(const std::string& extra_http = "", const std::string& extra_server = "");
  ~nginx_server();
  // False when nginx is missing or did not start accepting connections.
  bool started() const { return pid_ > 0 && port_ != 0; }
  uint16_t port() const { return port_; }
  std::string url(const std::string& path) const;
  // The document root (files put here are served under "/").
  std::string root() const { return dir_ / "html"; }
  // The access log's lines written so far (waits until `lines` lines are there, up to a
  // generous limit).
  std::string access_log(size_t lines = 0) const;
  std::string error_log() const;

private:
  temp_dir dir_;
  int pid_ = -1;
  uint16_t port_ = 0;
};

// The server's configuration: its folders under d (as nginx names them), listening on
// 127.0.0.1:port; as_root adds the "user root" a server started by root needs.
std::string nginx_config(const std::string& d, uint16_t port, bool as_root, const std::string& extra_http,
                         const std::string& extra_server);

} // namespace testsupport
