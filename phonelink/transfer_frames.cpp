#include "phonelink/transfer_frames.h"

namespace kit::agent {

namespace {
void put_u16(std::string& out, uint16_t v) {
  out.push_back(static_cast<char>(v & 0xff));
  out.push_back(static_cast<char>(v >> 8));
}
void put_u32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
}
} // namespace

std::string push_header(uint16_t type, const std::string& destination, uint64_t file_size) {
  std::string out;
  out.reserve(10 + destination.size());
  auto dest_len = static_cast<uint32_t>(destination.size());
  put_u16(out, type);
  put_u32(out, 4 + dest_len + static_cast<uint32_t>(file_size));
  put_u32(out, dest_len);
  out += destination;
  return out;
}

std::string pull_request(uint16_t type, const std::string& remote_path) {
  std::string out;
  out.reserve(10 + remote_path.size());
  auto path_len = static_cast<uint32_t>(remote_path.size());
  put_u16(out, type);
  put_u32(out, 4 + path_len);
  put_u32(out, path_len);
  out += remote_path;
  return out;
}

} // namespace kit::agent
