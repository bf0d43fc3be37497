// Helpers for the file-transfer tests: the UI loop run until a condition holds, the
// message window the managers deliver through, and a small TCP server on a fixed port
// (each test process has a network of its own on Linux; on Windows the tests that bind
// the port hold a lock).
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include "platform/stream_io.h"

namespace transfer_test {

// Makes the UI loop runnable (and the calling thread the UI thread) and the message window
// exist for the lifetime of the object.
class ui_session {
public:
  ui_session();
  ~ui_session();
  // Runs the UI loop until done() holds or limit_ms passed (the limit only keeps a broken
  // build from hanging); returns done().
  bool run_until(const std::function<bool()>& done, int limit_ms = 20000);
};

// Accepts connections on 127.0.0.1:port one after the other on a thread of its own and
// hands each to the handler; the descriptor is closed after the handler returns.
class tcp_server {
public:
  tcp_server(uint16_t port, std::function<void(int fd)> handler);
  ~tcp_server();
  int connections() const { return connections_; }
  bool listening() const { return listen_fd_ >= 0; }

private:
  int listen_fd_ = -1;
  int wake_[2] = {-1, -1};
  std::atomic<bool> stopping_{false};
  std::function<void(int)> handler_;
  std::atomic<int> connections_{0};
  std::thread thread_;
};

// Whether data (or the peer's close) arrives on a connection within ms milliseconds.
bool readable_within(int fd, int ms);

// Blocking helpers for handlers.
using kit::platform::read_exact;
using kit::platform::read_to_end;
using kit::platform::send_all;
uint32_t le32(const std::string& bytes, size_t offset);

} // namespace transfer_test
