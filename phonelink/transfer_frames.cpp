#include "phonelink/transfer_frames.h"

#include "phonelink/command_bytes_stream.h"

namespace kit::phonelink {

std::string push_header(uint16_t type, const std::string& destination, uint64_t file_size) {
  CommandBytesStream stream;
  stream.WriteShort(type);
  stream.WriteInt(0);
  stream.WriteString(destination);
  std::string out(reinterpret_cast<const char*>(stream.Data()), stream.Used());
  // The announced length covers the file that follows the header, too.
  uint32_t length = 4 + static_cast<uint32_t>(destination.size()) + static_cast<uint32_t>(file_size);
  for (int i = 0; i < 4; ++i) out[2 + i] = static_cast<char>((length >> (8 * i)) & 0xff);
  return out;
}

std::string pull_request(uint16_t type, const std::string& remote_path) {
  CommandBytesStream stream;
  stream.WriteShort(type);
  stream.WriteInt(0);
  stream.WriteString(remote_path);
  stream.FinishFrame();
  return std::string(reinterpret_cast<const char*>(stream.Data()), stream.Used());
}

} // namespace kit::phonelink
