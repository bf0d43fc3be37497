#include "support/web_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

namespace testsupport {

web_connection::web_connection(uint16_t port) : port_(port) {
  fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd_ < 0) return;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    ::close(fd_);
    fd_ = -1;
    return;
  }
  int one = 1;
  ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  set_timeout_ms(30000);
}

web_connection::~web_connection() {
  if (fd_ >= 0) ::close(fd_);
}

void web_connection::set_timeout_ms(int ms) {
  timeval tv{ms / 1000, (ms % 1000) * 1000};
  ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  ::setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
}

bool web_connection::send_raw(const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

bool web_connection::read_more() {
  char buf[65536];
  ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
  if (n <= 0) return false;
  pending_.append(buf, static_cast<size_t>(n));
  return true;
}

bool web_connection::read_exact(size_t n, std::string& out) {
  while (pending_.size() < n)
    if (!read_more()) return false;
  out = pending_.substr(0, n);
  pending_.erase(0, n);
  return true;
}

http_reply web_connection::read_reply(bool no_body) {
  http_reply reply;
  size_t end;
  while ((end = pending_.find("\r\n\r\n")) == std::string::npos)
    if (!read_more()) return reply;
  std::string head = pending_.substr(0, end);
  pending_.erase(0, end + 4);
  size_t line_end = head.find("\r\n");
  std::string status_line = head.substr(0, line_end);
  if (status_line.size() >= 12) reply.status = std::atoi(status_line.c_str() + 9);
  size_t pos = line_end == std::string::npos ? head.size() : line_end + 2;
  while (pos < head.size()) {
    size_t next = head.find("\r\n", pos);
    if (next == std::string::npos) next = head.size();
    std::string line = head.substr(pos, next - pos);
    size_t colon = line.find(':');
    if (colon != std::string::npos) {
      std::string name = line.substr(0, colon);
      std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
      std::string value = line.substr(colon + 1);
      while (!value.empty() && value.front() == ' ') value.erase(0, 1);
      reply.headers[name] = value;
    }
    pos = next + 2;
  }
  if (no_body || reply.status == 304 || reply.status == 101 || reply.status / 100 == 1) return reply;
  auto cl = reply.headers.find("content-length");
  if (cl != reply.headers.end()) {
    if (!read_exact(std::stoull(cl->second), reply.body)) reply.status = 0;
  } else {
    while (read_more()) {
    }
    reply.body = pending_;
    pending_.clear();
  }
  return reply;
}

bool web_connection::closed_by_server() {
  char buf[4096];
  while (true) {
    ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
    if (n == 0) return true;
    if (n < 0) return errno == ECONNRESET;
  }
}

http_reply web_connection::upgrade(const std::string& cookie, const std::string& origin, const std::string& host) {
  std::string extra = "Upgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
                      "Sec-WebSocket-Version: 13\r\n";
  if (!cookie.empty()) extra += "Cookie: " + cookie + "\r\n";
  if (!origin.empty()) extra += "Origin: " + origin + "\r\n";
  std::string request = http_request("GET", "/ws", port_, extra);
  if (!host.empty()) {
    size_t at = request.find("Host: ");
    size_t end = request.find("\r\n", at);
    request.replace(at, end - at, "Host: " + host);
  }
  send_raw(request);
  return read_reply(true);
}

bool web_connection::send_frame(int opcode, const std::string& payload) {
  std::string frame;
  frame.push_back(static_cast<char>(0x80 | opcode));
  uint64_t n = payload.size();
  if (n < 126) {
    frame.push_back(static_cast<char>(0x80 | n));
  } else if (n < 65536) {
    frame.push_back(static_cast<char>(0x80 | 126));
    frame.push_back(static_cast<char>(n >> 8));
    frame.push_back(static_cast<char>(n & 0xFF));
  } else {
    frame.push_back(static_cast<char>(0x80 | 127));
    for (int shift = 56; shift >= 0; shift -= 8) frame.push_back(static_cast<char>((n >> shift) & 0xFF));
  }
  const unsigned char mask[4] = {0x12, 0x34, 0x56, 0x78};
  frame.append(reinterpret_cast<const char*>(mask), 4);
  size_t start = frame.size();
  frame += payload;
  for (size_t i = 0; i < payload.size(); ++i) frame[start + i] = static_cast<char>(frame[start + i] ^ mask[i % 4]);
  return send_raw(frame);
}

bool web_connection::send_text(const std::string& text) { return send_frame(0x1, text); }

std::optional<std::string> web_connection::read_text() {
  std::string message;
  while (true) {
    std::string head;
    if (!read_exact(2, head)) return std::nullopt;
    unsigned char b0 = static_cast<unsigned char>(head[0]);
    unsigned char b1 = static_cast<unsigned char>(head[1]);
    uint64_t n = b1 & 0x7F;
    std::string ext;
    if (n == 126) {
      if (!read_exact(2, ext)) return std::nullopt;
      n = (static_cast<uint64_t>(static_cast<unsigned char>(ext[0])) << 8) | static_cast<unsigned char>(ext[1]);
    } else if (n == 127) {
      if (!read_exact(8, ext)) return std::nullopt;
      n = 0;
      for (char c : ext) n = (n << 8) | static_cast<unsigned char>(c);
    }
    std::string payload;
    if (!read_exact(static_cast<size_t>(n), payload)) return std::nullopt;
    int opcode = b0 & 0x0F;
    if (opcode == 0x8) {
      close_code_ = payload.size() >= 2 ? (static_cast<unsigned char>(payload[0]) << 8 | static_cast<unsigned char>(payload[1])) : 1005;
      return std::nullopt;
    }
    if (opcode == 0x9) {
      send_frame(0xA, payload);
      continue;
    }
    if (opcode == 0xA) continue;
    message += payload;
    if (b0 & 0x80) return message;
  }
}

std::string http_request(const std::string& method, const std::string& target, uint16_t port, const std::string& extra_headers,
                         const std::string& body) {
  std::string r = method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n" + extra_headers;
  if (!body.empty() || method == "PUT" || method == "POST") r += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  r += "\r\n" + body;
  return r;
}

http_reply http_exchange(uint16_t port, const std::string& request, bool no_body) {
  web_connection c(port);
  if (!c.connected() || !c.send_raw(request)) return {};
  return c.read_reply(no_body);
}

} // namespace testsupport
