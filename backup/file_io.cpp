#include "backup/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>

namespace kit::backup {
namespace {

bool write_all(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

std::atomic<unsigned> temp_counter{0};

} // namespace

std::optional<std::string> read_whole_file(const std::string& path) {
  // Non-blocking open: a FIFO named by a script must not stall the UI thread.
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || static_cast<uint64_t>(st.st_size) > kMaxFileSize) {
    ::close(fd);
    return std::nullopt;
  }
  std::string bytes;
  char buffer[65536];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ::close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    if (bytes.size() + static_cast<size_t>(n) > kMaxFileSize) {  // grew while being read
      ::close(fd);
      return std::nullopt;
    }
    bytes.append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  return bytes;
}

bool write_whole_file(const std::string& path, std::string_view bytes) {
  // Non-blocking open: a FIFO without a reader fails at once instead of stalling the caller.
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return false;
  }
  bool ok = write_all(fd, bytes);
  return ::close(fd) == 0 && ok;
}

bool replace_file(const std::string& path, std::string_view bytes) {
  size_t slash = path.find_last_of('/');
  std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  std::string temp = folder + "." + name + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(temp_counter++);
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool ok = write_all(fd, bytes) && ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  ok = ok && std::rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

} // namespace kit::backup
