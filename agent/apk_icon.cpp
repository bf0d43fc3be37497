#include "agent/apk_icon.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

namespace kit::agent {

namespace {

constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint32_t kCentralSignature = 0x02014b50;
constexpr uint32_t kLocalSignature = 0x04034b50;
constexpr size_t kEndSize = 22;
constexpr size_t kCentralSize = 46;
constexpr size_t kLocalSize = 30;
constexpr uint32_t kMaxDirectory = 64u << 20;  // a package's directory is far smaller

uint16_t le16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t le32(const unsigned char* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

bool read_at(int fd, uint64_t offset, void* out, size_t n) {
  auto* p = static_cast<char*>(out);
  while (n > 0) {
    ssize_t r = ::pread(fd, p, n, static_cast<off_t>(offset));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    p += r;
    offset += static_cast<uint64_t>(r);
    n -= static_cast<size_t>(r);
  }
  return true;
}

bool ends_with(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// How good an entry is as the launcher icon; 0 when it is none. Denser folders first, and
// the square icon before the round one.
int score(const std::string& name) {
  size_t slash = name.rfind('/');
  if (slash == std::string::npos || name.compare(0, 4, "res/") != 0) return 0;
  const std::string folder = name.substr(4, slash - 4);
  const std::string file = name.substr(slash + 1);
  if (folder.find('/') != std::string::npos) return 0;
  if (folder.compare(0, 6, "mipmap") != 0 && folder.compare(0, 8, "drawable") != 0) return 0;
  int kind = 0;
  for (const char* ext : {".png", ".webp"}) {
    if (file == std::string("ic_launcher") + ext) kind = 2;
    else if (file == std::string("ic_launcher_round") + ext) kind = std::max(kind, 1);
  }
  if (kind == 0) return 0;
  int density = 1;
  const char* order[] = {"-mdpi", "-hdpi", "-xhdpi", "-xxhdpi", "-xxxhdpi"};
  for (int i = 0; i < 5; ++i) {
    if (folder.find(std::string(order[i]) + "-") != std::string::npos || ends_with(folder, order[i])) density = i + 2;
  }
  return density * 4 + kind;
}

// The end record: the last signature whose comment reaches exactly to the end.
std::optional<uint64_t> find_end(int fd, uint64_t file_size) {
  if (file_size < kEndSize) return std::nullopt;
  const uint64_t span = std::min<uint64_t>(file_size, kEndSize + 0xFFFF);
  std::vector<unsigned char> tail(span);
  if (!read_at(fd, file_size - span, tail.data(), tail.size())) return std::nullopt;
  for (size_t i = tail.size() - kEndSize + 1; i-- > 0;) {
    if (le32(&tail[i]) != kEndSignature) continue;
    if (i + kEndSize + le16(&tail[i + 20]) == tail.size()) return file_size - span + i;
  }
  return std::nullopt;
}

} // namespace

std::optional<icon_bytes> find_launcher_icon(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  const uint64_t file_size = static_cast<uint64_t>(st.st_size);
  auto end = find_end(fd, file_size);
  if (!end) return std::nullopt;
  unsigned char e[kEndSize];
  if (!read_at(fd, *end, e, sizeof e)) return std::nullopt;
  const uint16_t entries = le16(e + 10);
  const uint32_t dir_size = le32(e + 12), dir_offset = le32(e + 16);
  if (dir_size > kMaxDirectory || uint64_t(dir_offset) + dir_size > *end) return std::nullopt;
  // Bytes in front of the archive (a file made by appending one) move every offset.
  const uint64_t shift = *end - dir_size - dir_offset;
  std::vector<unsigned char> dir(dir_size);
  if (!read_at(fd, shift + dir_offset, dir.data(), dir.size())) return std::nullopt;

  int best_score = 0;
  uint64_t best_local = 0;
  uint32_t best_size = 0;
  size_t at = 0;
  for (uint32_t i = 0; i < entries; ++i) {
    if (at + kCentralSize > dir.size() || le32(&dir[at]) != kCentralSignature) return std::nullopt;
    const unsigned char* c = &dir[at];
    const uint16_t method = le16(c + 10);
    const uint32_t stored = le32(c + 20), size = le32(c + 24);
    const size_t name_length = le16(c + 28), extra = le16(c + 30), comment = le16(c + 32);
    const uint32_t local = le32(c + 42);
    if (at + kCentralSize + name_length + extra + comment > dir.size()) return std::nullopt;
    const std::string name(reinterpret_cast<const char*>(c + kCentralSize), name_length);
    at += kCentralSize + name_length + extra + comment;
    const int s = score(name);
    if (s > best_score && method == 0 && stored == size && size > 0 && size <= kMaxIconBytes) {
      best_score = s;
      best_local = shift + local;
      best_size = size;
    }
  }
  if (best_score == 0) return std::nullopt;
  unsigned char h[kLocalSize];
  if (!read_at(fd, best_local, h, sizeof h) || le32(h) != kLocalSignature) return std::nullopt;
  const uint64_t data = best_local + kLocalSize + le16(h + 26) + le16(h + 28);
  if (data + best_size > file_size) return std::nullopt;
  return icon_bytes{data, best_size};
}

} // namespace kit::agent
