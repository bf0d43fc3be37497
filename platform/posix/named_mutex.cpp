#include "platform/named_mutex.h"
#include "platform/runtime_dir.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

namespace kit::platform {

named_mutex::~named_mutex() { close(); }

bool named_mutex::attach(const std::string& name, bool create, bool* already_existed) {
  if (is_open()) return false;
  std::string handle_path = kernel_object_path(name, "handle");
  int fd = ::open(handle_path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | (create ? O_CREAT : 0), 0600);
  if (fd < 0) return false;
  // Nobody else holds the object open when an exclusive lock can be had at once.
  bool existed;
  if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
    existed = false;
    if (!create) {
      ::close(fd);
      return false;
    }
  } else {
    existed = true;
  }
  // Keep a shared lock for as long as the object is open.
  while (::flock(fd, LOCK_SH) != 0 && errno == EINTR) {
  }
  int owner = ::open(kernel_object_path(name, "lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (owner < 0) {
    ::close(fd);
    return false;
  }
  handle_fd_ = fd;
  owner_fd_ = owner;
  if (already_existed) *already_existed = existed;
  return true;
}

bool named_mutex::create(const std::string& name, bool initially_owned, bool* already_existed) {
  bool existed = false;
  if (!attach(name, true, &existed)) return false;
  if (already_existed) *already_existed = existed;
  if (initially_owned && !existed) wait(0);
  return true;
}

bool named_mutex::open(const std::string& name) { return attach(name, false, nullptr); }

bool named_mutex::wait(int timeout_ms) {
  if (!is_open()) return false;
  if (owned_) return true;
  if (timeout_ms < 0) {
    while (::flock(owner_fd_, LOCK_EX) != 0) {
      if (errno != EINTR) return false;
    }
    owned_ = true;
    return true;
  }
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    if (::flock(owner_fd_, LOCK_EX | LOCK_NB) == 0) {
      owned_ = true;
      return true;
    }
    if (errno != EWOULDBLOCK && errno != EINTR) return false;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

void named_mutex::release() {
  if (owned_) {
    ::flock(owner_fd_, LOCK_UN);
    owned_ = false;
  }
}

void named_mutex::close() {
  release();
  if (owner_fd_ >= 0) ::close(owner_fd_);
  if (handle_fd_ >= 0) ::close(handle_fd_);
  owner_fd_ = handle_fd_ = -1;
}

} // namespace kit::platform
