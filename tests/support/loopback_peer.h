// A blocking TCP peer on 127.0.0.1 for socket tests: it accepts connections on its own
// thread and runs a script function on each, while the test drives the UI loop.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

namespace phonelink_test {

class loopback_peer {
public:
  // Listens on port (0: any free port) and serves `connections` connections in turn.
  loopback_peer(std::function<void(int fd)> serve, int connections = 1, uint16_t port = 0);
  ~loopback_peer();
  uint16_t port() const { return port_; }

  // Helpers for serve functions.
  static bool write_all(int fd, const std::string& bytes);
  static std::string read_exactly(int fd, size_t count);
  static std::string read_to_end(int fd);

private:
  int listener_ = -1;
  uint16_t port_ = 0;
  std::thread thread_;
};

// Runs the UI loop until a handler stops it.
void run_ui_loop();
void stop_ui_loop();

} // namespace phonelink_test
