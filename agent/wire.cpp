#include "agent/wire.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace kit::agent {

bool read_request(int fd, request& out) {
  unsigned char h[6];
  if (!read_exact(fd, h, sizeof h)) return false;
  out.type = static_cast<uint16_t>(h[0] | h[1] << 8);
  uint32_t length = uint32_t(h[2]) | uint32_t(h[3]) << 8 | uint32_t(h[4]) << 16 | uint32_t(h[5]) << 24;
  if (length > kMaxRequestPayload) return false;
  out.payload.assign(length, '\0');
  return length == 0 || read_exact(fd, out.payload.data(), length);
}

uint32_t request_reader::u32() {
  if (p_.size() - pos_ < 4) {
    pos_ = p_.size();
    return 0;
  }
  auto b = [&](size_t i) { return uint32_t(static_cast<unsigned char>(p_[pos_ + i])); };
  uint32_t v = b(0) | b(1) << 8 | b(2) << 16 | b(3) << 24;
  pos_ += 4;
  return v;
}

std::string request_reader::str() {
  uint32_t n = u32();
  if (p_.size() - pos_ < n) {
    pos_ = p_.size();
    return {};
  }
  std::string s = p_.substr(pos_, n);
  pos_ += n;
  return s;
}

frame& frame::u8(uint8_t v) {
  payload_.push_back(static_cast<char>(v));
  return *this;
}
frame& frame::u16(uint16_t v) {
  payload_.push_back(static_cast<char>(v >> 8));
  payload_.push_back(static_cast<char>(v));
  return *this;
}
frame& frame::u32(uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) payload_.push_back(static_cast<char>(v >> shift));
  return *this;
}
frame& frame::u64(uint64_t v) {
  u32(static_cast<uint32_t>(v >> 32));
  return u32(static_cast<uint32_t>(v));
}
frame& frame::str(const std::string& s) {
  u32(static_cast<uint32_t>(s.size()));
  payload_ += s;
  return *this;
}
frame& frame::raw(const std::string& bytes) {
  payload_ += bytes;
  return *this;
}

std::string frame::bytes() const {
  std::string out = pull_reply_header(type_, static_cast<uint32_t>(payload_.size()));
  return out + payload_;
}

std::string pull_reply_header(uint16_t type, uint32_t length) {
  std::string h;
  h.push_back(static_cast<char>(type >> 8));
  h.push_back(static_cast<char>(type));
  for (int shift = 24; shift >= 0; shift -= 8) h.push_back(static_cast<char>(length >> shift));
  return h;
}

bool write_bytes(int fd, const std::string& bytes, bool split) {
  if (!split) return send_all(fd, bytes.data(), bytes.size());
  int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  for (char c : bytes)
    if (!send_all(fd, &c, 1)) return false;
  return true;
}

bool send_frame(int fd, const frame& f, bool split) { return write_bytes(fd, f.bytes(), split); }

void drain_until_close(int fd) {
  char buf[4096];
  for (;;) {
    ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
  }
}

} // namespace kit::agent
