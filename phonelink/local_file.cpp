#include "phonelink/local_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kit::transfer {

namespace {
std::string normalised(const std::string& path) {
  std::string p = path;
  for (char& c : p)
    if (c == '\\') c = '/';
  return p;
}
} // namespace

int create_local_file(const std::string& path) {
  std::string p = normalised(path);
  if (p.empty() || p.back() == '/') return -1;
  for (size_t slash = p.find('/', 1); slash != std::string::npos; slash = p.find('/', slash + 1)) {
    if (p[slash - 1] == '/') continue;
    ::mkdir(p.substr(0, slash).c_str(), 0755);  // an existing folder is fine; a failure shows below
  }
  return ::open(p.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
}

size_t write_local_file(int fd, const void* data, size_t length) {
  const char* p = static_cast<const char*>(data);
  size_t done = 0;
  while (done < length) {
    ssize_t n = ::write(fd, p + done, length - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

void close_local_file(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

void remove_local_file(const std::string& path) { ::unlink(normalised(path).c_str()); }

} // namespace kit::transfer
