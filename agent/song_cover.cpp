#include "agent/song_cover.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace kit::agent {

namespace {
bool read_at(int fd, uint64_t at, size_t n, std::string& out) {
  out.assign(n, '\0');
  size_t got = 0;
  while (got < n) {
    ssize_t r = ::pread(fd, &out[got], n - got, static_cast<off_t>(at + got));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    got += static_cast<size_t>(r);
  }
  return true;
}

uint32_t be32(const std::string& s, size_t at) {
  auto b = [&](size_t i) { return static_cast<uint32_t>(static_cast<unsigned char>(s[at + i])); };
  return b(0) << 24 | b(1) << 16 | b(2) << 8 | b(3);
}

// A "syncsafe" number: four bytes of seven bits each; nullopt when a top bit is set.
std::optional<uint32_t> syncsafe(const std::string& s, size_t at) {
  uint32_t v = 0;
  for (size_t i = 0; i < 4; ++i) {
    auto c = static_cast<unsigned char>(s[at + i]);
    if (c & 0x80) return std::nullopt;
    v = v << 7 | c;
  }
  return v;
}

// Where the picture starts inside an APIC frame's body (head holds its first bytes), and
// its picture type; nullopt when the text fields do not end within head.
std::optional<std::pair<size_t, int>> picture_start(const std::string& head) {
  if (head.empty()) return std::nullopt;
  const char encoding = head[0];
  size_t mime_end = head.find('\0', 1);
  if (mime_end == std::string::npos || mime_end + 1 >= head.size()) return std::nullopt;
  const int type = static_cast<unsigned char>(head[mime_end + 1]);
  size_t at = mime_end + 2;
  if (encoding == 1 || encoding == 2) {  // UTF-16: ends with two zero bytes on a character boundary
    for (; at + 1 < head.size(); at += 2)
      if (head[at] == '\0' && head[at + 1] == '\0') return std::make_pair(at + 2, type);
    return std::nullopt;
  }
  size_t end = head.find('\0', at);
  if (end == std::string::npos) return std::nullopt;
  return std::make_pair(end + 1, type);
}

bool is_picture(const std::string& start) {
  return start.compare(0, 3, "\xff\xd8\xff") == 0 || start.compare(0, 8, "\x89PNG\r\n\x1a\n") == 0;
}
} // namespace

std::optional<icon_bytes> find_song_cover(int fd) {
  std::string h;
  if (!read_at(fd, 0, 10, h) || h.compare(0, 3, "ID3") != 0) return std::nullopt;
  const int major = h[3];
  const auto flags = static_cast<unsigned char>(h[5]);
  auto tag_size = syncsafe(h, 6);
  if ((major != 3 && major != 4) || (flags & 0x80) || !tag_size) return std::nullopt;  // 0x80: unsynchronised
  const uint64_t end = 10 + uint64_t(*tag_size);
  uint64_t at = 10;
  if (flags & 0x40) {  // an extended header: its size counts itself in 2.4, not in 2.3
    std::string x;
    if (!read_at(fd, at, 4, x)) return std::nullopt;
    auto n = major == 4 ? syncsafe(x, 0) : std::optional<uint32_t>(be32(x, 0) + 4);
    if (!n) return std::nullopt;
    at += *n;
  }
  std::optional<icon_bytes> found;
  while (at + 10 <= end) {
    std::string f;
    if (!read_at(fd, at, 10, f) || f[0] == '\0') break;  // padding
    auto size = major == 4 ? syncsafe(f, 4) : std::optional<uint32_t>(be32(f, 4));
    if (!size || *size > end - at - 10) break;
    const uint64_t body = at + 10;
    at = body + *size;
    // 2.3: 0x80 compressed, 0x40 encrypted; 2.4: 0x08 compressed, 0x04 encrypted,
    // 0x02 unsynchronised, 0x01 a data length in front of the body.
    const auto format = static_cast<unsigned char>(f[9]);
    if (f.compare(0, 4, "APIC") != 0 || (major == 3 ? (format & 0xc0) : (format & 0x0f)) != 0) continue;
    std::string head;
    if (!read_at(fd, body, std::min<uint32_t>(*size, 1024), head)) break;
    auto start = picture_start(head);
    if (!start || start->first >= *size) continue;
    const uint32_t length = *size - static_cast<uint32_t>(start->first);
    if (length > kMaxCoverBytes || !is_picture(head.substr(start->first, 8))) continue;
    icon_bytes picture{body + start->first, length};
    if (start->second == 3) return picture;  // the front cover
    if (!found) found = picture;
  }
  return found;
}

} // namespace kit::agent
