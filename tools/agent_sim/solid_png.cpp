#include "solid_png.h"

#include <algorithm>

namespace agent_sim {

namespace {

uint32_t crc32(const std::string& data) {
  uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char c : data) {
    crc ^= c;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

void put32be(std::string& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((v >> shift) & 0xFF);
}

std::string chunk(const char* kind, const std::string& data) {
  std::string body = std::string(kind, 4) + data;
  std::string out;
  put32be(out, static_cast<uint32_t>(data.size()));
  out += body;
  put32be(out, crc32(body));
  return out;
}

// A zlib stream of stored blocks (at most 65535 bytes each).
std::string zlib_stored(const std::string& raw) {
  std::string out("\x78\x01", 2);
  size_t at = 0;
  do {
    const size_t n = std::min<size_t>(raw.size() - at, 65535);
    const bool last = at + n == raw.size();
    out += static_cast<char>(last ? 1 : 0);
    out += static_cast<char>(n & 0xFF);
    out += static_cast<char>(n >> 8);
    out += static_cast<char>(~n & 0xFF);
    out += static_cast<char>((~n >> 8) & 0xFF);
    out.append(raw, at, n);
    at += n;
  } while (at < raw.size());
  uint32_t a = 1, b = 0;
  for (unsigned char c : raw) {
    a = (a + c) % 65521;
    b = (b + a) % 65521;
  }
  put32be(out, b << 16 | a);
  return out;
}

} // namespace

std::string solid_png(uint32_t rgb, int side) {
  side = std::clamp(side, 1, 128);
  std::string row(1, '\0');  // filter type 0
  for (int x = 0; x < side; ++x) {
    row += static_cast<char>((rgb >> 16) & 0xFF);
    row += static_cast<char>((rgb >> 8) & 0xFF);
    row += static_cast<char>(rgb & 0xFF);
  }
  std::string raw;
  for (int y = 0; y < side; ++y) raw += row;
  std::string header;
  put32be(header, static_cast<uint32_t>(side));
  put32be(header, static_cast<uint32_t>(side));
  header += std::string("\x08\x02\x00\x00\x00", 5);  // 8 bits, RGB, deflate, no filter set, no interlace
  return std::string("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header) + chunk("IDAT", zlib_stored(raw)) +
         chunk("IEND", "");
}

} // namespace agent_sim
