// The growable byte buffer that builds request frames for the agent: little-endian 16-bit
// type, 32-bit payload length, then the arguments (little-endian 32-bit integers and
// length-prefixed strings).
#pragma once
#include <cstdint>
#include <string>

class CommandBytesStream {
public:
  // An owned buffer of `capacity` bytes (a frame starts with 6, the header).
  explicit CommandBytesStream(uint32_t capacity = 6);
  // Writes into a caller's buffer, which is never freed here; it is left for an owned one
  // when it runs out of room.
  CommandBytesStream(uint8_t* borrowed, uint32_t capacity);
  ~CommandBytesStream();
  CommandBytesStream(const CommandBytesStream&) = delete;
  CommandBytesStream& operator=(const CommandBytesStream&) = delete;

  void WriteShort(uint16_t value);
  void WriteInt(uint32_t value);
  // The byte length (WriteInt), then the bytes, no terminator.
  void WriteString(const char* data, uint32_t length);
  void WriteString(const std::string& s) { WriteString(s.data(), static_cast<uint32_t>(s.size())); }
  // Stores used - 6 as the frame's payload length at offset 2.
  void FinishFrame();

  const uint8_t* Data() const { return buffer_; }
  uint32_t Used() const { return used_; }
  uint32_t Free() const { return free_; }

private:
  void Grow(uint32_t capacity);
  void Put(const void* bytes, uint32_t count);

  uint8_t* buffer_;
  uint8_t* position_;
  uint32_t free_;
  uint32_t used_ = 0;
  bool borrowed_;
};
