// A blocking HTTP/1.1 and WebSocket client on 127.0.0.1 written straight on sockets, for
// the tests of the local web UI server: it sends exactly the bytes a test gives (bad ones
// included) and reads replies with a generous time-out.
#pragma once
#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace testsupport {

struct http_reply {
  int status = 0;                             // 0: no reply (closed or timed out)
  std::map<std::string, std::string> headers;  // names in lower case
  std::string body;
  std::string header(const std::string& name) const {
    auto it = headers.find(name);
    return it == headers.end() ? std::string() : it->second;
  }
};

class web_connection {
public:
  explicit web_connection(uint16_t port);
  ~web_connection();
  web_connection(const web_connection&) = delete;
  web_connection& operator=(const web_connection&) = delete;
  bool connected() const { return fd_ >= 0; }

  bool send_raw(const std::string& bytes);
  // Reads one reply; a HEAD request's or a 304's has no body.
  http_reply read_reply(bool no_body = false);
  // True when the server closed the connection (reads end) within the time-out.
  bool closed_by_server();

  // WebSocket: the upgrade request (status 101 on success), then text frames.
  http_reply upgrade(const std::string& cookie, const std::string& origin, const std::string& host = {});
  bool send_text(const std::string& text);
  // The next text frame; answers pings meanwhile. Nothing when the connection ended; the
  // close code the server sent is in last_close_code().
  std::optional<std::string> read_text();
  int last_close_code() const { return close_code_; }

  // Sets the read time-out (default 30 s).
  void set_timeout_ms(int ms);
  int fd() const { return fd_; }

private:
  bool read_more();
  bool read_exact(size_t n, std::string& out);
  bool send_frame(int opcode, const std::string& payload);

  int fd_ = -1;
  uint16_t port_ = 0;
  std::string pending_;
  int close_code_ = 0;
};

// A request with Host 127.0.0.1:port and the given extra header lines ("Name: value\r\n").
std::string http_request(const std::string& method, const std::string& target, uint16_t port,
                         const std::string& extra_headers = {}, const std::string& body = {});
// One request on a new connection.
http_reply http_exchange(uint16_t port, const std::string& request, bool no_body = false);

} // namespace testsupport
