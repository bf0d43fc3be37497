// The host's HTTP/1.1 client: one request at a time to one origin over the asynchronous
// socket, with keep-alive, up to five redirects, identity and chunked bodies, and the
// response kept in memory unless the sink says otherwise. UI thread only. Events are
// raised from inside the socket's events; a sink may close the client, start the next
// request or delete the client from inside any of them.
#pragma once
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "net/http_message.h"
#include "net/idle_timer.h"
#include "net/response_parser.h"
#include "platform/asyn_tcp_socket.h"

namespace kit::net {

class asyn_http_event {
public:
  virtual ~asyn_http_event() = default;
  // The response is complete; it is destroyed when this returns.
  virtual void on_response(int32_t id, http_response& response) = 0;
  // The request failed (a Winsock number or one of net/http_errors.h); the client is
  // closed and idle.
  virtual void on_error(int32_t id, int error) = 0;
  // Body bytes as they arrive; body_so_far counts the bytes before these. Clearing *keep
  // stops the client from appending them to response.body.
  virtual void on_body(int32_t id, http_response& response, const char* data, size_t length, uint64_t body_so_far,
                       bool* keep) {
    (void)id, (void)response, (void)data, (void)length, (void)body_so_far, (void)keep;
  }
};

class asyn_http : private platform::asyn_tcp_socket_event {
public:
  static constexpr int kMaxRedirects = 5;
  // The most body bytes kept in memory for one response; a longer body kept in memory fails
  // the request with kHttpFraming. Bodies a sink takes itself (keep cleared) have no limit.
  static constexpr size_t kMaxKeptBody = size_t{256} << 20;

  explicit asyn_http(asyn_http_event* sink);
  ~asyn_http() override;

  // GET of url; extra headers come after "Host". True when handed to the socket.
  bool request(int32_t id, const std::string& url);
  bool request(int32_t id, const std::string& url, const header_list& extra);
  // Sends request, which must carry a "Host" header. False while busy.
  bool send_request(int32_t id, const http_request& request);
  bool is_requesting() const { return busy_; }
  // How long a request may go without receiving a byte before it fails with WSAETIMEDOUT.
  void set_idle_timeout(std::chrono::milliseconds limit) { idle_limit_ = limit; }
  std::chrono::milliseconds idle_timeout() const { return idle_limit_; }
  // How long a whole request may take, however slowly its bytes arrive (a server sending a
  // byte a minute never meets the idle limit); then it fails with WSAETIMEDOUT. With
  // body_too false the deadline ends once the response's header block is in, and the body
  // is governed by the idle limit alone (a large download may take hours). 0: none.
  void set_deadline(std::chrono::milliseconds limit, bool body_too = true) {
    deadline_limit_ = limit;
    deadline_covers_body_ = body_too;
  }
  // The most body bytes kept in memory for one response (at most kMaxKeptBody).
  void set_max_kept_body(size_t bytes) { max_kept_body_ = bytes < kMaxKeptBody ? bytes : kMaxKeptBody; }
  // Abandons any request without an event, ends the connection and forgets the origin.
  void close();

  asyn_http(const asyn_http&) = delete;
  asyn_http& operator=(const asyn_http&) = delete;

private:
  void on_connect(uint32_t, uint16_t, uint32_t, uint16_t) override {}
  void on_send(uint32_t count) override;
  void on_recv(const uint8_t* data, uint32_t length, uint32_t* consumed) override;
  void on_error(int error) override;
  void on_close() override;

  void reset_request();
  void fail(int error);
  void try_finish();
  void redirect();
  void timed_out();

  asyn_http_event* sink_;
  platform::asyn_tcp_socket socket_;
  // Shared with every call in progress: false once this object is gone.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  std::chrono::milliseconds idle_limit_{60000};
  idle_timer idle_{[this] { timed_out(); }};
  std::chrono::milliseconds deadline_limit_{std::chrono::minutes(10)};
  bool deadline_covers_body_ = true;
  idle_timer deadline_{[this] { timed_out(); }};  // started with the request, never touched
  size_t max_kept_body_ = kMaxKeptBody;
  int32_t id_ = 0;
  bool busy_ = false;
  bool sent_ = false;
  bool complete_ = false;
  std::string host_;
  uint16_t port_ = 80;
  int redirects_ = 0;
  http_request last_request_;
  std::unique_ptr<http_response> response_;
  std::unique_ptr<response_parser> parser_;
};

} // namespace kit::net
