// The private nginx's address and logs, the same on every system.
#include <chrono>
#include <thread>

#include "support/nginx_fixture.h"

namespace testsupport {

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
