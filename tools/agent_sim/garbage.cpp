#include "garbage.h"

#include <random>

namespace agent_sim {

std::string garbage_bytes(unsigned seed) {
  std::mt19937 rng(seed);
  auto byte = [&] { return static_cast<char>(rng() & 0xFF); };
  static const uint16_t types[] = {4, 5, 6, 7, 13, 14, 16, 18, 19, 38, 40, 47, 48, 50, 53, 54, 57, 69, 105, 106, 107, 111, 114};
  std::string out;
  int pieces = 3 + static_cast<int>(rng() % 6);
  for (int p = 0; p < pieces; ++p) {
    uint16_t type = types[rng() % (sizeof types / sizeof types[0])];
    uint32_t length = rng() % 64;
    std::string body;
    for (uint32_t i = 0; i < length; ++i) body.push_back(byte());
    if (rng() % 4 == 0) body.insert(0, "\x00\xFF\xFF\xFF\xF0", 5);  // a string length far beyond the frame
    length = static_cast<uint32_t>(body.size());
    out.push_back(static_cast<char>(type >> 8));
    out.push_back(static_cast<char>(type));
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>(length >> shift));
    out += body;
  }
  // Noise to finish, sometimes a header that promises far more than ever comes.
  for (int i = static_cast<int>(rng() % 16); i > 0; --i) out.push_back(byte());
  return out;
}

} // namespace agent_sim
