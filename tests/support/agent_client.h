// The host's side of the agent protocol, written from the frame layout alone, for the
// conformance suite: requests out little-endian, frames in big-endian.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace conformance {

struct frame {
  uint16_t type = 0;
  std::string payload;
};

// A connection to 127.0.0.1:port (reads give up after timeout_ms).
class agent_connection {
public:
  explicit agent_connection(uint16_t port, int timeout_ms = 60000);
  ~agent_connection();
  bool connected() const { return fd_ >= 0; }
  int fd() const { return fd_; }

  bool send(const std::string& bytes);
  bool send_request(uint16_t type, const std::string& payload = "");
  std::optional<frame> read_frame();
  // Bytes exactly, or nullopt when the peer closed first.
  std::optional<std::string> read_bytes(size_t n);
  // True when the peer has closed (no byte came before it).
  bool closed_by_peer();
  void close();

private:
  int fd_ = -1;
};

// Little-endian argument encoding of requests.
std::string le32(uint32_t v);
std::string le_str(const std::string& s);

// Reads big-endian fields from a payload; ok() turns false on a short read.
class reader {
public:
  explicit reader(const std::string& p) : p_(p) {}
  uint8_t u8();
  uint16_t u16();
  uint32_t u32();
  uint64_t u64();
  std::string str();
  bool ok() const { return ok_; }
  bool done() const { return pos_ == p_.size(); }

private:
  bool take(size_t n);
  const std::string& p_;
  size_t pos_ = 0;
  bool ok_ = true;
};

// The frames of one request on its own connection, up to the end frame (status 2) for
// lists and status replies, or the single frame of a value.
std::vector<frame> ask(uint16_t port, uint16_t type, const std::string& payload = "", bool single = false);

} // namespace conformance
