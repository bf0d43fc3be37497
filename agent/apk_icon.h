// The launcher icon inside an app's package file (a zip archive), found without the
// package manager, which the shell user cannot ask for pictures: the picture entries named
// ic_launcher (or ic_launcher_round) under res/mipmap-* or res/drawable-*, the densest one
// first. Only entries stored uncompressed are offered, as package builders store pictures;
// the agent carries no decompressor.
#pragma once
#include <cstdint>
#include <optional>

namespace kit::agent {

struct icon_bytes {
  uint64_t offset = 0;  // where the picture's bytes start in the file
  uint32_t size = 0;
};

// The largest icon offered.
constexpr uint32_t kMaxIconBytes = 1u << 20;

// The icon of the package file open as fd; nullopt when the file is no readable zip or
// holds no stored icon of at most kMaxIconBytes.
std::optional<icon_bytes> find_launcher_icon(int fd);

} // namespace kit::agent
