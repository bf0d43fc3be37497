#include "support/raw_http_server.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <chrono>
#include <cstdlib>
#include <cstring>

namespace testsupport {

namespace {
thread_local raw_http_server* current_server = nullptr;

#ifdef _WIN32
// The few calls that differ on Winsock.
using socket_t = SOCKET;
constexpr int MSG_NOSIGNAL = 0;
constexpr int MSG_DONTWAIT = 0;  // the connection's socket is made non-blocking instead
int poll(pollfd* fds, size_t count, int timeout) { return ::WSAPoll(fds, static_cast<ULONG>(count), timeout); }
int close_socket(intptr_t s) { return ::closesocket(static_cast<SOCKET>(s)); }
intptr_t accept_connection(intptr_t listener) {
  SOCKET s = ::accept(static_cast<SOCKET>(listener), nullptr, nullptr);
  if (s == INVALID_SOCKET) return -1;
  u_long on = 1;
  ::ioctlsocket(s, FIONBIO, &on);
  return static_cast<intptr_t>(s);
}
// A loopback datagram socket stands for the stop pipe: a datagram to itself wakes poll.
bool make_stop_pipe(intptr_t ends[2]) {
  static const bool started = [] {
    WSADATA data;
    return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  if (!started) return false;
  SOCKET s = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (s == INVALID_SOCKET || ::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return false;
  ends[0] = ends[1] = static_cast<intptr_t>(s);
  return true;
}
void wake_stop_pipe(intptr_t end) {
  sockaddr_in self{};
  int len = sizeof self;
  ::getsockname(static_cast<SOCKET>(end), reinterpret_cast<sockaddr*>(&self), &len);
  char c = 1;
  ::sendto(static_cast<SOCKET>(end), &c, 1, 0, reinterpret_cast<sockaddr*>(&self), len);
}
void close_stop_pipe(intptr_t ends[2]) { ::closesocket(static_cast<SOCKET>(ends[0])); }
#else
using socket_t = int;
int close_socket(intptr_t s) { return ::close(static_cast<int>(s)); }
intptr_t accept_connection(intptr_t listener) { return ::accept4(static_cast<int>(listener), nullptr, nullptr, SOCK_CLOEXEC); }
bool make_stop_pipe(intptr_t ends[2]) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return false;
  ends[0] = fds[0];
  ends[1] = fds[1];
  return true;
}
void wake_stop_pipe(intptr_t end) {
  char c = 1;
  (void)!::write(static_cast<int>(end), &c, 1);
}
void close_stop_pipe(intptr_t ends[2]) {
  ::close(static_cast<int>(ends[0]));
  ::close(static_cast<int>(ends[1]));
}
#endif

pollfd poll_entry(intptr_t s, short events) { return pollfd{static_cast<socket_t>(s), events, 0}; }
} // namespace

bool raw_connection::wait_readable() {
  pollfd fds[2] = {poll_entry(fd_, POLLIN), poll_entry(stop_fd_, POLLIN)};
  for (;;) {
    int n = poll(fds, 2, -1);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 || (fds[1].revents & POLLIN)) return false;
    if (fds[0].revents) return true;
  }
}

std::string raw_connection::read_request() {
  for (;;) {
    size_t end = pending_.find("\r\n\r\n");
    if (end != std::string::npos) {
      size_t length = 0;
      size_t at = pending_.find("Content-Length: ");
      if (at != std::string::npos && at < end) length = std::strtoul(pending_.c_str() + at + 16, nullptr, 10);
      if (pending_.size() >= end + 4 + length) {
        std::string request = pending_.substr(0, end + 4 + length);
        pending_.erase(0, end + 4 + length);
        if (current_server) {
          std::lock_guard<std::mutex> guard(current_server->lock_);
          current_server->requests_.push_back(request);
        }
        return request;
      }
    }
    if (!wait_readable()) return {};
    char buf[65536];
    auto n = ::recv(static_cast<socket_t>(fd_), buf, sizeof buf, 0);
    if (n <= 0) return {};
    pending_.append(buf, static_cast<size_t>(n));
  }
}

bool raw_connection::send(const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    pollfd fds[2] = {poll_entry(fd_, POLLOUT), poll_entry(stop_fd_, POLLIN)};
    if (poll(fds, 2, -1) < 0 && errno != EINTR) return false;
    if (fds[1].revents & POLLIN) return false;
    if (!(fds[0].revents & (POLLOUT | POLLERR | POLLHUP))) continue;
    auto n = ::send(static_cast<socket_t>(fd_), bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
#ifdef _WIN32
    if (n < 0 && ::WSAGetLastError() == WSAEWOULDBLOCK) continue;
#else
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
#endif
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

bool raw_connection::send_split(const std::string& bytes, size_t piece, int pause_ms) {
  for (size_t at = 0; at < bytes.size(); at += piece) {
    if (!send(bytes.substr(at, piece))) return false;
    pollfd stop = poll_entry(stop_fd_, POLLIN);
    if (pause_ms > 0 && poll(&stop, 1, pause_ms) > 0) return false;
  }
  return true;
}

bool raw_connection::send_filler(uint64_t count) {
  const std::string block(1 << 20, 'x');
  while (count > 0) {
    size_t n = count < block.size() ? static_cast<size_t>(count) : block.size();
    if (!send(n == block.size() ? block : block.substr(0, n))) return false;
    count -= n;
  }
  return true;
}

void raw_connection::stall() {
  char buf[4096];
  while (wait_readable()) {
    if (::recv(static_cast<socket_t>(fd_), buf, sizeof buf, 0) <= 0) return;
  }
}

void raw_connection::close() {
  if (fd_ >= 0) close_socket(fd_);
  fd_ = -1;
}

raw_http_server::raw_http_server(std::function<void(raw_connection&)> serve) : serve_(std::move(serve)) {
  if (!make_stop_pipe(stop_pipe_)) std::abort();
#ifdef _WIN32
  socket_t listener = ::socket(AF_INET, SOCK_STREAM, 0);
#else
  socket_t listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int one = 1;
  ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
#endif
  listener_ = static_cast<intptr_t>(listener);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  if (::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(listener, 16) != 0) std::abort();
  socklen_t len = sizeof addr;
  ::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len);
  port_ = ntohs(addr.sin_port);
  thread_ = std::thread([this] { run(); });
}

raw_http_server::~raw_http_server() {
  wake_stop_pipe(stop_pipe_[1]);
  thread_.join();
  close_socket(listener_);
  close_stop_pipe(stop_pipe_);
}

std::string raw_http_server::url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<std::string> raw_http_server::requests() const {
  std::lock_guard<std::mutex> guard(lock_);
  return requests_;
}

void raw_http_server::run() {
  current_server = this;
  for (;;) {
    pollfd fds[2] = {poll_entry(listener_, POLLIN), poll_entry(stop_pipe_[0], POLLIN)};
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents & POLLIN) return;
    intptr_t fd = accept_connection(listener_);
    if (fd < 0) continue;
    ++connections_;
    raw_connection connection(fd, stop_pipe_[0]);
    serve_(connection);
    connection.close();
  }
}

} // namespace testsupport
