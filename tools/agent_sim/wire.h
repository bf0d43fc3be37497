// The agent's side of the frame format: requests arrive little-endian, replies and
// notifications leave big-endian. Written from the frame layout alone.
#pragma once
#include <cstdint>
#include <string>

#include "platform/stream_io.h"

namespace agent_sim {

using kit::platform::read_exact;
using kit::platform::send_all;

struct options;

// A request frame as read from the host.
struct request {
  uint16_t type = 0;
  std::string payload;
};

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
  size_t payload_size() const { return payload_.size(); }
  // Header and payload.
  std::string bytes() const;

private:
  uint16_t type_;
  std::string payload_;
};

// Writes bytes, one byte per write when the options ask for split frames. False when the
// peer has gone.
bool write_bytes(int fd, const std::string& bytes, const options& opts);
bool send_frame(int fd, const frame& f, const options& opts);

// Blocks until the peer closes its side.
void drain_until_close(int fd);

} // namespace agent_sim
