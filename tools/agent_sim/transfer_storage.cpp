#include "transfer_storage.h"
#include "common/agent_protocol.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <vector>

#include "agent_sim_wire.h"
#include "solid_png.h"

namespace agent_sim {

const transfer_flags& transfer_misbehaviour() {
  static const transfer_flags flags = [] {
    transfer_flags f;
    const char* env = std::getenv("AGENT_SIM_TRANSFER");
    std::stringstream list(env ? env : "");
    std::string item;
    while (std::getline(list, item, ',')) {
      if (item == "slow") f.slow = true;
      if (item == "close-mid-file") f.close_mid_file = true;
      if (item == "wrong-length") f.wrong_length = true;
      if (item == "no-ack") f.no_ack = true;
    }
    return f;
  }();
  return flags;
}

const std::string& storage_root() {
  static const std::string root = [] {
    std::string r;
    if (const char* s = std::getenv("AGENT_SIM_STORAGE"); s && *s) {
      r = s;
    } else {
      const char* tmp = std::getenv("TMPDIR");
      r = std::string(tmp && *tmp ? tmp : "/tmp") + "/agent-sim-storage";
    }
    if (r.back() != '/') r += '/';
    make_parent_folders(r + "x");
    return r;
  }();
  return root;
}

std::string sandbox_path(const std::string& phone_path) {
  std::vector<std::string> parts;
  std::string part;
  auto flush = [&]() -> bool {
    if (part == "..") return false;
    if (!part.empty() && part != ".") parts.push_back(part);
    part.clear();
    return true;
  };
  for (char c : phone_path) {
    if (c == '\0') return {};
    if (c == '/' || c == '\\') {
      if (!flush()) return {};
    } else {
      part.push_back(c);
    }
  }
  if (!flush() || parts.empty()) return {};
  std::string out = storage_root();
  for (size_t i = 0; i < parts.size(); ++i) out += (i ? "/" : "") + parts[i];
  return out;
}


namespace {

// Deterministic filler: the same path always gives the same bytes.
std::string pattern(const std::string& seed_text, size_t length, const std::string& prefix) {
  uint64_t x = 1469598103934665603ull;
  for (unsigned char c : seed_text) x = (x ^ c) * 1099511628211ull;
  std::string out = prefix.substr(0, length);
  while (out.size() < length) {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    out.push_back(static_cast<char>(x & 0xff));
  }
  return out;
}

const std::string kJpeg("\xff\xd8\xff\xe0\x00\x10JFIF\x00", 11);
constexpr uint64_t kMadeUpFileCap = 256 * 1024;  // listed sizes can be gigabytes

// A colour of a name's own, for the pictures made up of it.
uint32_t colour_of(const std::string& name) {
  uint64_t x = 1469598103934665603ull;
  for (unsigned char c : name) x = (x ^ c) * 1099511628211ull;
  return static_cast<uint32_t>(x >> 40);
}

} // namespace

std::string made_up_content(uint16_t type, const std::string& path, phone_data& d) {
  switch (type) {
    case kit::agent::transfer::kPullIcon:  // icon of an installed app, asked for by package name
      return d.has_package(path) ? solid_png(colour_of(path), 48) : std::string();
    case kit::agent::transfer::kPullCompressedPicture: {  // a compressed picture, or a song's cover
      if (d.song_id(path) >= 0) return solid_png(colour_of(path), 64);
      int64_t id = d.picture_id(path);
      return id < 0 ? std::string() : pattern(path, 8192 + static_cast<size_t>(id % 97), kJpeg);
    }
    case kit::agent::transfer::kPullVideoThumbnail:  // video thumbnail
      return d.video_id(path) < 0 ? std::string() : solid_png(colour_of(path), 64);
    default: {
      int64_t size = d.listed_size(path);
      if (size < 0) return {};
      return pattern(path, static_cast<size_t>(std::min<uint64_t>(static_cast<uint64_t>(size), kMadeUpFileCap)), "");
    }
  }
}

} // namespace agent_sim
