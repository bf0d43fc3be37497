#include "platform/stream_io.h"

#include <cerrno>
#include <sys/socket.h>

namespace kit::platform {

bool send_all(int fd, const void* data, size_t length) {
  const char* p = static_cast<const char*>(data);
  while (length > 0) {
    ssize_t n = ::send(fd, p, length, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    length -= static_cast<size_t>(n);
  }
  return true;
}

bool read_exact(int fd, void* data, size_t length) {
  char* p = static_cast<char*>(data);
  while (length > 0) {
    ssize_t n = ::recv(fd, p, length, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    length -= static_cast<size_t>(n);
  }
  return true;
}

std::string read_to_end(int fd) {
  std::string out;
  char buf[65536];
  for (;;) {
    ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return out;
    out.append(buf, static_cast<size_t>(n));
  }
}

} // namespace kit::platform
