// A small valid PNG of one colour, made without a compressor (the image data goes in
// stored deflate blocks): agent-sim's app icons, which the window shows as pictures.
#pragma once
#include <cstdint>
#include <string>

namespace agent_sim {

// A side x side RGB picture of the colour 0xRRGGBB; side at most 128.
std::string solid_png(uint32_t rgb, int side);

} // namespace agent_sim
