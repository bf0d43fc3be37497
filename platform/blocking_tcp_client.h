// A blocking TCP client for a worker thread. Every wait (connect, send, receive) also
// watches the worker's stop event, so a stop request ends it; abort() from another thread shuts the connection down, which ends a blocked
// call of the worker at once. Only the owning worker opens and closes the descriptor.
#pragma once
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

namespace kit::platform {

class wait_event;

class blocking_tcp_client {
public:
  // stop: set once the worker must stop (none: no such event).
  explicit blocking_tcp_client(const wait_event* stop = nullptr) : stop_(stop) {}
  ~blocking_tcp_client() { close(); }
  blocking_tcp_client(const blocking_tcp_client&) = delete;
  blocking_tcp_client& operator=(const blocking_tcp_client&) = delete;

  void set_stop_event(const wait_event* stop) { stop_ = stop; }

  // Creates the socket; false when none could be made.
  bool open();
  // Connects to a dotted IPv4 address and a port; false on a bad address, failure, refusal,
  // abort or stop.
  bool connect(const std::string& address, uint16_t port);
  // Sends every byte; false when the connection failed, was aborted or the stop came.
  bool send_all(const void* data, size_t length);
  // Waits for one byte. True when a byte arrived; false when the peer closed without one,
  // on an error, an abort or the stop.
  bool receive_one();
  // Thread-safe: shuts the connection down so that a blocked call returns.
  void abort();
  // Closes the socket (owner only).
  void close();
  bool is_open() const;

private:
  // Waits until the socket can be read (or written); false on stop, abort or error.
  bool wait(bool for_writing);

  const wait_event* stop_;
  int fd_ = -1;
  bool aborted_ = false;
  mutable std::mutex m_;  // guards fd_ against abort() during close()
};

} // namespace kit::platform
