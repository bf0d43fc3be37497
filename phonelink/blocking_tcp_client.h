// A blocking TCP client for a worker thread. Every wait (connect, send, receive) is a
// poll() on the socket together with the worker's stop descriptor, so a stop request
// ends it; abort() from another thread shuts the connection down, which ends a blocked
// call of the worker at once. Only the owning worker opens and closes the descriptor.
#pragma once
#include <cstddef>
#include <cstdint>
#include <mutex>

namespace kit::net {

class blocking_tcp_client {
public:
  // stop_fd: readable once the worker must stop (-1: none).
  explicit blocking_tcp_client(int stop_fd = -1) : stop_fd_(stop_fd) {}
  ~blocking_tcp_client() { close(); }
  blocking_tcp_client(const blocking_tcp_client&) = delete;
  blocking_tcp_client& operator=(const blocking_tcp_client&) = delete;

  void set_stop_fd(int fd) { stop_fd_ = fd; }

  // Creates the socket; false when none could be made.
  bool open();
  // Connects to an IPv4 address (network order) and port (host order); false on failure,
  // refusal, abort or stop.
  bool connect(uint32_t address, uint16_t port);
  // Sends every byte; false when the connection failed, was aborted or the stop came.
  bool send_all(const void* data, size_t length);
  // Waits for one byte. True when a byte arrived or the peer closed in order; false on an
  // error, an abort or the stop.
  bool receive_one();
  // Thread-safe: shuts the connection down so that a blocked call returns.
  void abort();
  // Closes the socket (owner only).
  void close();
  bool is_open() const;

private:
  // Waits until the socket has events (POLLIN/POLLOUT); false on stop, abort or error.
  bool wait(short events);

  int stop_fd_;
  int fd_ = -1;
  bool aborted_ = false;
  mutable std::mutex m_;  // guards fd_ against abort() during close()
};

} // namespace kit::net
