// The transfer tests' small TCP server, on POSIX sockets or Winsock. (Kept apart from the
// host's headers, whose message names the system's headers define as macros.)
#include "transfer_fixture.h"

#ifdef _WIN32
#include <winsock2.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace transfer_test {

#ifdef _WIN32
// Winsock: the accepting thread looks at the stop flag between waits of 50 ms.
tcp_server::tcp_server(uint16_t port, std::function<void(int fd)> handler) : handler_(std::move(handler)) {
  WSADATA data;
  ::WSAStartup(MAKEWORD(2, 2), &data);
  SOCKET s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_port = htons(port);
  at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(s, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 || ::listen(s, 8) != 0) {
    ::closesocket(s);
    return;
  }
  listen_fd_ = static_cast<int>(s);
  thread_ = std::thread([this] {
    while (!stopping_) {
      WSAPOLLFD p{static_cast<SOCKET>(listen_fd_), POLLRDNORM, 0};
      if (::WSAPoll(&p, 1, 50) <= 0) continue;
      SOCKET c = ::accept(static_cast<SOCKET>(listen_fd_), nullptr, nullptr);
      if (c == INVALID_SOCKET) continue;
      ++connections_;
      handler_(static_cast<int>(c));
      ::closesocket(c);
    }
  });
}

tcp_server::~tcp_server() {
  stopping_ = true;
  if (thread_.joinable()) thread_.join();
  if (listen_fd_ >= 0) ::closesocket(static_cast<SOCKET>(listen_fd_));
  ::WSACleanup();
}

bool readable_within(int fd, int ms) {
  WSAPOLLFD p{static_cast<SOCKET>(fd), POLLRDNORM, 0};
  return ::WSAPoll(&p, 1, ms) > 0;
}
#else
tcp_server::tcp_server(uint16_t port, std::function<void(int fd)> handler) : handler_(std::move(handler)) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_port = htons(port);
  at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 || ::listen(fd, 8) != 0) {
    ::close(fd);
    return;
  }
  listen_fd_ = fd;
  if (::pipe(wake_) != 0) return;
  thread_ = std::thread([this] {
    for (;;) {
      pollfd p[2] = {{listen_fd_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
      if (::poll(p, 2, -1) < 0) continue;
      if (p[1].revents) return;
      int c = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (c < 0) continue;
      ++connections_;
      handler_(c);
      ::close(c);
    }
  });
}

tcp_server::~tcp_server() {
  if (wake_[1] >= 0) {
    char b = 0;
    ssize_t n = ::write(wake_[1], &b, 1);
    (void)n;
  }
  if (thread_.joinable()) thread_.join();
  for (int fd : {listen_fd_, wake_[0], wake_[1]})
    if (fd >= 0) ::close(fd);
}

bool readable_within(int fd, int ms) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, ms) > 0;
}
#endif

} // namespace transfer_test
