// The request headers of the two file-transfer ports. What the host writes to the agent is
// little-endian; the pull reply header it reads is big-endian.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace kit::phonelink {

// Push header: type (2), length = 4 + destination length + low 32 bits of the file size
// (4), destination length (4), destination bytes. The file's bytes follow it.
std::string push_header(uint16_t type, const std::string& destination, uint64_t file_size);

// Pull request: type (2), length = 4 + path length (4), path length (4), path bytes.
std::string pull_request(uint16_t type, const std::string& remote_path);

// The file length in the 6-byte reply header of a pull: type (2) and file length (4),
// big-endian.
inline uint32_t pull_reply_length(const uint8_t* header) {
  return (uint32_t{header[2]} << 24) | (uint32_t{header[3]} << 16) | (uint32_t{header[4]} << 8) | uint32_t{header[5]};
}

} // namespace kit::phonelink
