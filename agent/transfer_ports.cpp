#include "agent/transfer_ports.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "agent/apk_icon.h"
#include "agent/song_cover.h"
#include "agent/wire.h"
#include "common/agent_protocol.h"

namespace kit::agent {

namespace {
constexpr size_t kPiece = 1u << 20;
constexpr uint32_t kMaxDestination = 64 * 1024;

uint32_t le32(const unsigned char* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

bool write_all(int fd, const char* p, size_t n) {
  while (n > 0) {
    ssize_t w = ::write(fd, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    p += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}
} // namespace

void serve_push(int fd, const phone_paths& paths) {
  unsigned char h[10];
  if (!read_exact(fd, h, sizeof h)) return;
  const uint32_t length = le32(h + 2), dest_length = le32(h + 6);
  if (dest_length > kMaxDestination || length < 4 + dest_length) return;  // not a push header
  std::string destination(dest_length, '\0');
  if (!read_exact(fd, destination.data(), dest_length)) return;
  const uint64_t file_length = length - 4 - dest_length;

  std::string target = phone_paths::writable_area(destination) ? paths.local(destination) : std::string();
  std::string partial = target + ".part";
  int out = -1;
  if (!target.empty() && make_parent_folders(target)) {
    ::unlink(partial.c_str());
    out = ::open(partial.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0664);
  }
  if (out < 0) std::fprintf(stderr, "push to '%s' refused: not a writable place on the phone\n", destination.c_str());
  // The bytes are read in any case, so the host sees its push end and not a stalled socket.
  std::unique_ptr<char[]> buffer(new char[kPiece]);
  uint64_t left = file_length;
  bool ok = out >= 0;
  while (left > 0) {
    ssize_t n = ::recv(fd, buffer.get(), left < kPiece ? static_cast<size_t>(left) : kPiece, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = false;
      break;
    }
    left -= static_cast<uint64_t>(n);
    if (ok && !write_all(out, buffer.get(), static_cast<size_t>(n))) ok = false;  // storage full: keep reading
  }
  if (out < 0) return;
  ok = ::close(out) == 0 && ok && std::rename(partial.c_str(), target.c_str()) == 0;
  if (!ok) {
    ::unlink(partial.c_str());
    return;
  }
  char ack = 1;
  send_all(fd, &ack, 1);
}

namespace {
// What a pull request is answered with: a whole file, or a stretch of one (an icon in a
// package file); in < 0 when there is nothing to send.
struct pull_source {
  int in = -1;
  uint64_t offset = 0;
  uint32_t size = 0;
};

pull_source open_whole_file(const std::string& local) {
  pull_source s;
  s.in = local.empty() ? -1 : ::open(local.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st {};
  if (s.in >= 0 && (::fstat(s.in, &st) != 0 || !S_ISREG(st.st_mode) || static_cast<uint64_t>(st.st_size) > UINT32_MAX)) {
    ::close(s.in);
    s.in = -1;
  }
  if (s.in >= 0) s.size = static_cast<uint32_t>(st.st_size);
  return s;
}

// A small picture of a file: a song's cover where it is tagged (a tagged song without one
// gives nothing rather than the whole song), else the whole file.
pull_source open_picture_of(const std::string& local) {
  pull_source s = open_whole_file(local);
  char magic[3] = {};
  if (s.in < 0 || ::pread(s.in, magic, 3, 0) != 3 || std::memcmp(magic, "ID3", 3) != 0) return s;
  if (auto cover = find_song_cover(s.in)) {
    s.offset = cover->offset;
    s.size = cover->size;
  } else {
    ::close(s.in);
    s.in = -1;
  }
  return s;
}

pull_source open_app_icon(const std::string& package, phone_source& source) {
  pull_source s;
  const std::string file = source.app_file(package);
  s.in = file.empty() ? -1 : ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (s.in < 0) return s;
  if (auto icon = find_launcher_icon(s.in)) {
    s.offset = icon->offset;
    s.size = icon->size;
  } else {
    ::close(s.in);
    s.in = -1;
  }
  return s;
}
} // namespace

void serve_pull(int fd, const phone_paths& paths, phone_source& source) {
  std::unique_ptr<char[]> buffer(new char[kPiece]);
  request req;
  while (read_request(fd, req)) {
    std::string path = request_reader(req.payload).str();
    // Video thumbnails are the phone's own where it keeps one; else the reply is empty.
    pull_source from;
    if (req.type == transfer::kPullFile) from = open_whole_file(paths.local(path));
    else if (req.type == transfer::kPullCompressedPicture) from = open_picture_of(paths.local(path));
    else if (req.type == transfer::kPullIcon) from = open_app_icon(path, source);
    else if (req.type == transfer::kPullVideoThumbnail) from = open_whole_file(source.video_thumbnail_file(path));
    const uint32_t size = from.in < 0 ? 0 : from.size;
    std::string header = pull_reply_header(req.type, size);
    if (!send_all(fd, header.data(), header.size())) {
      if (from.in >= 0) ::close(from.in);
      return;
    }
    uint64_t left = size, at = from.offset;
    while (left > 0) {
      ssize_t n = ::pread(from.in, buffer.get(), left < kPiece ? static_cast<size_t>(left) : kPiece, static_cast<off_t>(at));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0 || !send_all(fd, buffer.get(), static_cast<size_t>(n))) {
        // The file shrank or the host went: the reply cannot be completed, so the
        // connection ends rather than send bytes of another length than announced.
        ::close(from.in);
        return;
      }
      left -= static_cast<uint64_t>(n);
      at += static_cast<uint64_t>(n);
    }
    if (from.in >= 0) ::close(from.in);
  }
}

} // namespace kit::agent
