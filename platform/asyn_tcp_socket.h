// The host's non-blocking TCP client. It never blocks and has no thread of its own: all
// work runs on the UI loop, and every event reaches the sink there, so a sink may call the
// script runtime directly. A sink may close, destroy or delete the socket from inside any
// of its calls.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

namespace kit::platform {

class asyn_tcp_socket_event {
public:
  virtual ~asyn_tcp_socket_event() = default;
  // Addresses in network order, ports in host order.
  virtual void on_connect(uint32_t local_address, uint16_t local_port, uint32_t peer_address, uint16_t peer_port) = 0;
  // The whole pending send buffer (count bytes) has been written.
  virtual void on_send(uint32_t count) = 0;
  // Bytes were appended to the receive buffer. *consumed starts at length; the sink lowers
  // it to keep the unconsumed tail at the front of the buffer for the next call.
  virtual void on_recv(const uint8_t* data, uint32_t length, uint32_t* consumed) = 0;
  // The socket failed (a Winsock error number); it is already closed.
  virtual void on_error(int error) = 0;
  // The peer closed the connection; the socket is already closed.
  virtual void on_close() = 0;
};

class asyn_tcp_socket {
public:
  enum state_t { state_idle = 0, state_resolving = 1, state_connecting = 2, state_connected = 3, state_failed = 4 };
  static constexpr uint32_t kMaxRead = 40960;
  static constexpr uint32_t kAddressNone = 0xFFFFFFFFu;

  // The sink is not owned and never changes.
  explicit asyn_tcp_socket(asyn_tcp_socket_event* sink);
  // Releases everything still open; owners normally call destroy() first.
  ~asyn_tcp_socket();

  // Readies the socket for host (name or dotted IPv4 address) and port. False when it is
  // ready already, the host is empty or the port is 0. Nothing is connected yet.
  bool create(const std::string& host, uint16_t port);
  // Queues one buffer and starts the connection when there is none. False without
  // create(), while an earlier buffer is still pending, or for no bytes.
  bool send(const void* data, uint32_t length);
  // Drops the connection, a lookup in progress and both buffers; state idle. Host and port
  // stay, so a later send() reconnects.
  void close();
  // close(), then forgets host and port; create() may be called again.
  void destroy();

  // How many bytes one receive takes at most (kMaxRead unless set): a socket that moves
  // large files reads them in large pieces. Takes effect from the next receive.
  void set_read_size(uint32_t bytes);

  int state() const;
  bool created() const;
  // Bytes waiting in the send buffer (0 when nothing is pending).
  uint32_t pending_bytes() const;

  asyn_tcp_socket(const asyn_tcp_socket&) = delete;
  asyn_tcp_socket& operator=(const asyn_tcp_socket&) = delete;

  struct impl;

private:
  std::shared_ptr<impl> impl_;
};

// The process-wide host address cache: the IPv4 address (network order) a name was last
// resolved to, or kAddressNone.
uint32_t cached_host_address(const std::string& host);

} // namespace kit::platform
