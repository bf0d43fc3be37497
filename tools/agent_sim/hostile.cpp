#include "hostile.h"

#include <sys/socket.h>

#include <string>

#include "options.h"
#include "agent_sim_wire.h"

namespace agent_sim {

bool send_record_flood(int fd, uint16_t type, uint64_t records, const options& opts) {
  const uint64_t length = 1 + 5 * records;
  if (length > 0xFFFFFFFFu) return false;
  frame head(type);
  std::string header = head.bytes();  // type and a zero length; the length is set below
  for (int i = 0; i < 4; ++i) header[2 + i] = static_cast<char>(length >> (24 - 8 * i));
  header.push_back('\0');  // status 0
  if (!write_bytes(fd, header, opts.split)) return false;
  // Written in blocks, so the flood never has to exist in one piece here.
  std::string block;
  for (int i = 0; i < 65536; ++i) block.append("\0\0\0\0\x01", 5);
  for (uint64_t left = records; left > 0;) {
    uint64_t n = left < 65536 ? left : 65536;
    if (!write_bytes(fd, block.substr(0, 5 * n), opts.split)) return false;
    left -= n;
  }
  return send_frame(fd, frame(type).u8(2), opts.split);
}

void send_endless_frame(int fd, uint16_t type) {
  std::string header = frame(type).bytes();
  for (int i = 2; i < 6; ++i) header[i] = '\xFF';
  if (::send(fd, header.data(), header.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(header.size())) return;
  const std::string filler(1 << 20, 'f');
  for (int mib = 0; mib < 1024; ++mib) {
    if (::send(fd, filler.data(), filler.size(), MSG_NOSIGNAL) <= 0) return;
  }
  drain_until_close(fd);
}

} // namespace agent_sim
