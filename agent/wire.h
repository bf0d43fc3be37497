// The agent's side of the frame format, shared by the phone-side agent and the stand-in
// agent: requests arrive little-endian, replies and notifications leave big-endian.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/stream_io.h"

namespace kit::agent {

// Blocking socket helpers: whole buffers or nothing, EINTR retried, no SIGPIPE.
using kit::platform::read_exact;
using kit::platform::send_all;

// A request frame as read from the host.
struct request {
  uint16_t type = 0;
  std::string payload;
};

// The longest request payload taken; anything longer ends the connection.
constexpr uint32_t kMaxRequestPayload = 16 * 1024 * 1024;

// Reads one little-endian frame; false when the peer closed or sent a frame too large to be
// a request.
bool read_request(int fd, request& out);

// Cursor over a request payload: little-endian u32 and length-prefixed strings. Missing
// bytes read as 0 or an empty string.
class request_reader {
public:
  explicit request_reader(const std::string& payload) : p_(payload) {}
  uint32_t u32();
  std::string str();

private:
  const std::string& p_;
  size_t pos_ = 0;
};

// Builds one big-endian frame.
class frame {
public:
  explicit frame(uint16_t type) : type_(type) {}
  frame& u8(uint8_t v);
  frame& u16(uint16_t v);
  frame& u32(uint32_t v);
  frame& u64(uint64_t v);
  frame& str(const std::string& s);
  frame& raw(const std::string& bytes);
  uint16_t type() const { return type_; }
  size_t payload_size() const { return payload_.size(); }
  // Header and payload.
  std::string bytes() const;

private:
  uint16_t type_;
  std::string payload_;
};

// Writes bytes, one byte per write when split is set (a test of the host's reassembly).
// False when the peer has gone.
bool write_bytes(int fd, const std::string& bytes, bool split = false);
bool send_frame(int fd, const frame& f, bool split = false);

// Blocks until the peer closes its side.
void drain_until_close(int fd);

// The big-endian header of a pull reply: the request type and the body length.
std::string pull_reply_header(uint16_t type, uint32_t length);

} // namespace kit::agent
