#include "loopback_peer.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <cerrno>

#include "platform/stream_io.h"
#include "platform/ui_loop.h"

namespace phonelink_test {

namespace {
#ifdef _WIN32
using socket_t = SOCKET;
constexpr int kStream = SOCK_STREAM;
#else
using socket_t = int;
constexpr int kStream = SOCK_STREAM | SOCK_CLOEXEC;
#endif

// A TCP socket bound to 127.0.0.1:port (0: a free port), and the port it got.
socket_t bound_to_loopback(uint16_t port, uint16_t& bound) {
  socket_t s = ::socket(AF_INET, kStream, 0);
#ifndef _WIN32
  int one = 1;
  ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
#endif
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(port);
  ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t len = sizeof a;
  ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
  bound = ntohs(a.sin_port);
  return s;
}
} // namespace

#ifdef _WIN32
// Winsock: a blocked accept is not woken by a shutdown of the listener, so the accepting
// thread waits in slices of 50 ms and looks at the stop flag between them.
loopback_peer::loopback_peer(std::function<void(int)> serve, int connections, uint16_t port) {
  WSADATA data;
  ::WSAStartup(MAKEWORD(2, 2), &data);
  SOCKET s = bound_to_loopback(port, port_);
  ::listen(s, 8);
  listener_ = static_cast<int>(s);
  thread_ = std::thread([this, serve, connections] {
    for (int i = 0; i < connections && !stopping_;) {
      WSAPOLLFD p{static_cast<SOCKET>(listener_), POLLRDNORM, 0};
      if (::WSAPoll(&p, 1, 50) <= 0) continue;
      SOCKET c = ::accept(static_cast<SOCKET>(listener_), nullptr, nullptr);
      if (c == INVALID_SOCKET) continue;
      serve(static_cast<int>(c));
      ::closesocket(c);
      ++i;
    }
  });
}

loopback_peer::~loopback_peer() {
  stopping_ = true;
  if (thread_.joinable()) thread_.join();
  ::closesocket(static_cast<SOCKET>(listener_));
  ::WSACleanup();
}
#else
loopback_peer::loopback_peer(std::function<void(int)> serve, int connections, uint16_t port) {
  listener_ = bound_to_loopback(port, port_);
  ::listen(listener_, 8);
  thread_ = std::thread([this, serve, connections] {
    for (int i = 0; i < connections; ++i) {
      int fd = ::accept(listener_, nullptr, nullptr);
      if (fd < 0) return;
      serve(fd);
      ::close(fd);
    }
  });
}

loopback_peer::~loopback_peer() {
  ::shutdown(listener_, SHUT_RDWR);
  if (thread_.joinable()) thread_.join();
  ::close(listener_);
}
#endif

bool loopback_peer::write_all(int fd, const std::string& bytes) {
  return kit::platform::send_all(fd, bytes.data(), bytes.size());
}

// Empty when the peer closes first.
std::string loopback_peer::read_exactly(int fd, size_t count) {
  std::string out(count, '\0');
  if (!kit::platform::read_exact(fd, out.data(), count)) out.clear();
  return out;
}

std::string loopback_peer::read_to_end(int fd) { return kit::platform::read_to_end(fd); }

bool loopback_peer::wait_for_close(int fd, int timeout_s) {
#ifdef _WIN32
  DWORD limit = static_cast<DWORD>(timeout_s) * 1000;
  ::setsockopt(static_cast<SOCKET>(fd), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&limit), sizeof limit);
  char buf[4096];
  for (;;) {
    int n = ::recv(static_cast<SOCKET>(fd), buf, sizeof buf, 0);
    if (n == 0) return true;
    if (n < 0) {
      int e = ::WSAGetLastError();
      if (e == WSAECONNRESET || e == WSAECONNABORTED) return true;
      if (e != WSAEINTR) return false;
    }
  }
#else
  timeval limit{timeout_s, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  char buf[4096];
  for (;;) {
    ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n == 0 || (n < 0 && errno == ECONNRESET)) return true;
    if (n < 0 && errno != EINTR) return false;
  }
#endif
}

#ifdef _WIN32
void loopback_peer::end_writing(int fd) { ::shutdown(static_cast<SOCKET>(fd), SD_SEND); }

uint16_t loopback_peer::unused_port() {
  WSADATA data;
  ::WSAStartup(MAKEWORD(2, 2), &data);
  uint16_t port = 0;
  ::closesocket(bound_to_loopback(0, port));
  ::WSACleanup();
  return port;
}
#else
void loopback_peer::end_writing(int fd) { ::shutdown(fd, SHUT_WR); }

uint16_t loopback_peer::unused_port() {
  uint16_t port = 0;
  ::close(bound_to_loopback(0, port));
  return port;
}
#endif

void run_ui_loop() {
  auto& loop = kit::platform::ui_loop::instance();
  loop.restart();
  loop.run();
}

void stop_ui_loop() { kit::platform::ui_loop::instance().stop(); }

} // namespace phonelink_test
