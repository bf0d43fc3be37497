// Winsock form: a non-blocking socket waited on with WSAPoll in short slices, so that the
// worker's stop event (a kernel event WSAPoll cannot watch) is seen within one slice.
#include "platform/blocking_tcp_client.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include "platform/wait_event.h"

namespace kit::platform {

namespace {
constexpr int kSliceMs = 50;

bool winsock_ready() {
  static const bool ready = [] {
    WSADATA data;
    return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return ready;
}

SOCKET as_socket(int fd) { return static_cast<SOCKET>(fd); }
} // namespace

bool blocking_tcp_client::open() {
  close();
  if (!winsock_ready()) return false;
  SOCKET s = ::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
  if (s == INVALID_SOCKET) return false;
  u_long non_blocking = 1;
  if (::ioctlsocket(s, FIONBIO, &non_blocking) != 0) {
    ::closesocket(s);
    return false;
  }
  std::lock_guard<std::mutex> lock(m_);
  fd_ = static_cast<int>(s);
  aborted_ = false;
  return true;
}

bool blocking_tcp_client::is_open() const {
  std::lock_guard<std::mutex> lock(m_);
  return fd_ >= 0;
}

bool blocking_tcp_client::wait(bool for_writing) {
  for (;;) {
    if (stop_ && stop_->is_set()) return false;
    {
      std::lock_guard<std::mutex> lock(m_);
      if (aborted_) return false;
    }
    WSAPOLLFD p{as_socket(fd_), static_cast<SHORT>(for_writing ? POLLWRNORM : POLLRDNORM), 0};
    int n = ::WSAPoll(&p, 1, kSliceMs);
    if (n < 0) return false;
    if (n > 0 && p.revents) {
      std::lock_guard<std::mutex> lock(m_);
      return !aborted_;  // errors and hang-ups show in the call that follows
    }
  }
}

bool blocking_tcp_client::connect(const std::string& address, uint16_t port) {
  if (fd_ < 0) return false;
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  if (::inet_pton(AF_INET, address.c_str(), &to.sin_addr) != 1) return false;
  if (::connect(as_socket(fd_), reinterpret_cast<sockaddr*>(&to), sizeof to) == 0) return true;
  if (::WSAGetLastError() != WSAEWOULDBLOCK) return false;
  if (!wait(true)) return false;
  int error = 0;
  int len = sizeof error;
  return ::getsockopt(as_socket(fd_), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &len) == 0 && error == 0;
}

bool blocking_tcp_client::send_all(const void* data, size_t length) {
  if (fd_ < 0) return false;
  const char* p = static_cast<const char*>(data);
  while (length > 0) {
    int chunk = length > (1u << 30) ? (1 << 30) : static_cast<int>(length);
    int n = ::send(as_socket(fd_), p, chunk, 0);
    if (n > 0) {
      p += n;
      length -= static_cast<size_t>(n);
      continue;
    }
    int error = n < 0 ? ::WSAGetLastError() : 0;
    if (error == WSAEINTR) continue;
    if (error == WSAEWOULDBLOCK) {
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
    int n = ::recv(as_socket(fd_), &byte, 1, 0);
    if (n == 0) return false;  // the peer closed without answering
    if (n > 0) {
      std::lock_guard<std::mutex> lock(m_);
      return !aborted_;
    }
    int error = ::WSAGetLastError();
    if (error == WSAEINTR) continue;
    if (error != WSAEWOULDBLOCK) return false;
    if (!wait(false)) return false;
  }
}

void blocking_tcp_client::abort() {
  std::lock_guard<std::mutex> lock(m_);
  aborted_ = true;
  if (fd_ >= 0) ::shutdown(as_socket(fd_), SD_BOTH);
}

void blocking_tcp_client::close() {
  std::lock_guard<std::mutex> lock(m_);
  if (fd_ >= 0) ::closesocket(as_socket(fd_));
  fd_ = -1;
}

} // namespace kit::platform
