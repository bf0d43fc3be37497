// The bridge relay's numbers on the wire: 4 bytes, little-endian. A request is a count, then
// each argument as a length and its bytes; the answer is the exit code, then standard
// output and standard error, each as a length and its bytes.
#pragma once
#include <cstdint>
#include <string>

namespace relay_wire {

inline void put_u32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

inline uint32_t u32_at(const char* bytes) {
  const auto* b = reinterpret_cast<const unsigned char*>(bytes);
  return b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<uint32_t>(b[3]) << 24);
}

} // namespace relay_wire
