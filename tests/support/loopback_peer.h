// A blocking TCP peer on 127.0.0.1 for socket tests: it accepts connections on its own
// thread and runs a script function on each, while the test drives the UI loop.
#pragma once
#include <atomic>
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
  // Reads and drops what comes until the other side closes (true) or timeout_s seconds
  // pass without a byte (false).
  static bool wait_for_close(int fd, int timeout_s);
  // Ends the sending half: the other side reads the end of the stream.
  static void end_writing(int fd);
  // A loopback port on which nothing listens (one that was free a moment ago).
  static uint16_t unused_port();

private:
  int listener_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};

// Runs the UI loop until a handler stops it.
void run_ui_loop();
void stop_ui_loop();

} // namespace phonelink_test
