#include "support/agent_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>

namespace conformance {

agent_connection::agent_connection(uint16_t port, int timeout_ms) {
  fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    ::close(fd_);
    fd_ = -1;
    return;
  }
  timeval tv{timeout_ms / 1000, (timeout_ms % 1000) * 1000};
  ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
}

agent_connection::~agent_connection() { close(); }

void agent_connection::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool agent_connection::send(const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

std::string le32(uint32_t v) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[i] = static_cast<char>(v >> (8 * i));
  return s;
}
std::string le_str(const std::string& s) { return le32(static_cast<uint32_t>(s.size())) + s; }

bool agent_connection::send_request(uint16_t type, const std::string& payload) {
  std::string h;
  h.push_back(static_cast<char>(type));
  h.push_back(static_cast<char>(type >> 8));
  return send(h + le32(static_cast<uint32_t>(payload.size())) + payload);
}

std::optional<std::string> agent_connection::read_bytes(size_t n) {
  std::string out(n, '\0');
  size_t done = 0;
  while (done < n) {
    ssize_t k = ::recv(fd_, out.data() + done, n - done, 0);
    if (k < 0 && errno == EINTR) continue;
    if (k <= 0) return std::nullopt;
    done += static_cast<size_t>(k);
  }
  return out;
}

std::optional<frame> agent_connection::read_frame() {
  auto h = read_bytes(6);
  if (!h) return std::nullopt;
  auto b = [&](int i) { return static_cast<uint32_t>(static_cast<unsigned char>((*h)[i])); };
  frame f;
  f.type = static_cast<uint16_t>(b(0) << 8 | b(1));
  uint32_t length = b(2) << 24 | b(3) << 16 | b(4) << 8 | b(5);
  if (length > (64u << 20)) return std::nullopt;
  auto body = read_bytes(length);
  if (!body) return std::nullopt;
  f.payload = std::move(*body);
  return f;
}

bool agent_connection::closed_by_peer() {
  char c;
  for (;;) {
    ssize_t k = ::recv(fd_, &c, 1, 0);
    if (k < 0 && errno == EINTR) continue;
    return k == 0;
  }
}

bool reader::take(size_t n) {
  if (!ok_ || p_.size() - pos_ < n) return ok_ = false;
  return true;
}
uint8_t reader::u8() { return take(1) ? static_cast<uint8_t>(p_[pos_++]) : 0; }
uint16_t reader::u16() {
  uint16_t hi = u8(), lo = u8();
  return static_cast<uint16_t>(hi << 8 | lo);
}
uint32_t reader::u32() {
  uint32_t hi = u16(), lo = u16();
  return hi << 16 | lo;
}
uint64_t reader::u64() {
  uint64_t hi = u32(), lo = u32();
  return hi << 32 | lo;
}
std::string reader::str() {
  uint32_t n = u32();
  if (!take(n)) return {};
  std::string s = p_.substr(pos_, n);
  pos_ += n;
  return s;
}

std::vector<frame> ask(uint16_t port, uint16_t type, const std::string& payload, bool single) {
  agent_connection c(port);
  std::vector<frame> out;
  if (!c.connected() || !c.send_request(type, payload)) return out;
  while (auto f = c.read_frame()) {
    out.push_back(*f);
    if (single || f->payload.empty() || static_cast<unsigned char>(f->payload[0]) == 2) break;
  }
  return out;
}

} // namespace conformance
