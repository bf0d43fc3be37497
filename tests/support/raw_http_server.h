// A scripted HTTP peer on 127.0.0.1 for client tests: it accepts connections one after the
// other on its own thread and lets the test's serve function play any bytes on each, split,
// delayed, cut off or never sent, which no real server would do.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

class raw_connection {
public:
  // Sockets are descriptors, or SOCKETs on Windows.
  raw_connection(intptr_t fd, intptr_t stop_fd) : fd_(fd), stop_fd_(stop_fd) {}
  // The next request: its head through the empty line and a body of its Content-Length.
  // Empty when the peer closed first or the server stops.
  std::string read_request();
  // False once the peer is gone.
  bool send(const std::string& bytes);
  // Sends bytes in pieces of `piece` bytes with a short pause between them.
  bool send_split(const std::string& bytes, size_t piece, int pause_ms = 2);
  // Sends count bytes of filler ('x') in large blocks, without holding them all.
  bool send_filler(uint64_t count);
  // Sends nothing until the peer closes or the server stops.
  void stall();
  // Ends the connection now (the serve function may also just return).
  void close();
  intptr_t fd() const { return fd_; }

private:
  // Waits until fd_ is readable; false when the server stops first.
  bool wait_readable();
  intptr_t fd_;
  intptr_t stop_fd_;
  std::string pending_;  // bytes read after the last request
};

class raw_http_server {
public:
  // serve runs once per accepted connection, on the server's thread.
  explicit raw_http_server(std::function<void(raw_connection&)> serve);
  ~raw_http_server();
  uint16_t port() const { return port_; }
  std::string url(const std::string& path = "/") const;
  int connections() const { return connections_.load(); }
  // Every request read so far, in order.
  std::vector<std::string> requests() const;

private:
  void run();
  friend class raw_connection;
  std::function<void(raw_connection&)> serve_;
  intptr_t listener_ = -1;
  // Readable once the server stops: a pipe, or on Windows a loopback datagram socket (its
  // two ends are the same socket).
  intptr_t stop_pipe_[2] = {-1, -1};
  uint16_t port_ = 0;
  std::atomic<int> connections_{0};
  mutable std::mutex lock_;
  std::vector<std::string> requests_;
  std::thread thread_;
};

} // namespace testsupport
