#include "platform/blocking_tcp_client.h"

#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <arpa/inet.h>
#include <unistd.h>

#include "platform/wait_event.h"

namespace kit::platform {

bool blocking_tcp_client::open() {
  close();
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return false;
  std::lock_guard<std::mutex> lock(m_);
  fd_ = fd;
  aborted_ = false;
  return true;
}

bool blocking_tcp_client::is_open() const {
  std::lock_guard<std::mutex> lock(m_);
  return fd_ >= 0;
}

bool blocking_tcp_client::wait(bool for_writing) {
  int stop_fd = stop_ ? static_cast<int>(stop_->native_handle()) : -1;
  short events = for_writing ? POLLOUT : POLLIN;
  for (;;) {
    pollfd p[2] = {{fd_, events, 0}, {stop_fd, POLLIN, 0}};
    int n = ::poll(p, stop_fd >= 0 ? 2 : 1, -1);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (stop_fd >= 0 && (p[1].revents & POLLIN)) return false;
    {
      std::lock_guard<std::mutex> lock(m_);
      if (aborted_) return false;
    }
    if (p[0].revents) return true;  // errors and hang-ups show in the call that follows
  }
}

bool blocking_tcp_client::connect(const std::string& address, uint16_t port) {
  if (fd_ < 0) return false;
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  if (::inet_pton(AF_INET, address.c_str(), &to.sin_addr) != 1) return false;
  if (::connect(fd_, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0) return true;
  if (errno != EINPROGRESS) return false;
  if (!wait(true)) return false;
  int error = 0;
  socklen_t len = sizeof error;
  if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &len) != 0 || error != 0) return false;
  return true;
}

bool blocking_tcp_client::send_all(const void* data, size_t length) {
  if (fd_ < 0) return false;
  const char* p = static_cast<const char*>(data);
  while (length > 0) {
    ssize_t n = ::send(fd_, p, length, MSG_NOSIGNAL);
    if (n > 0) {
      p += n;
      length -= static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!wait(true)) return false;
      continue;
    }
    return false;
  }
  return true;
}

bool blocking_tcp_client::receive_one() {
  if (fd_ < 0) return false;
  for (;;) {
    char byte;
    ssize_t n = ::recv(fd_, &byte, 1, 0);
    if (n == 0) return false;  // the peer closed without answering
    if (n > 0) {
      std::lock_guard<std::mutex> lock(m_);
      return !aborted_;
    }
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return false;
    if (!wait(false)) return false;
  }
}

void blocking_tcp_client::abort() {
  std::lock_guard<std::mutex> lock(m_);
  aborted_ = true;
  if (fd_ >= 0) ::shutdown(fd_, SHUT_RDWR);
}

void blocking_tcp_client::close() {
  std::lock_guard<std::mutex> lock(m_);
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

} // namespace kit::platform
