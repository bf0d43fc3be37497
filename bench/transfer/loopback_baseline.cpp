#include "loopback_baseline.h"

#ifdef _WIN32
#include <winsock2.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <memory>
#include <thread>

#include "bench_support.h"
#include "platform/stream_io.h"

namespace transfer_bench {

using kit::platform::send_all;

namespace {
// The few calls that differ between Winsock and POSIX sockets, and binary file handles
// (the Windows C runtime would otherwise translate line ends).
#ifdef _WIN32
using socket_handle = SOCKET;
constexpr socket_handle kNoSocket = INVALID_SOCKET;
using socket_length = int;
socket_handle new_socket() { return ::socket(AF_INET, SOCK_STREAM, 0); }
socket_handle accept_one(socket_handle listener) { return ::accept(listener, nullptr, nullptr); }
void close_socket(socket_handle s) { ::closesocket(s); }
int open_to_read(const std::string& path) { return ::_open(path.c_str(), _O_RDONLY | _O_BINARY); }
int open_to_write(const std::string& path) {
  return ::_open(path.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE);
}
long read_file(int fd, char* buffer, size_t size) { return ::_read(fd, buffer, static_cast<unsigned>(size)); }
long write_file(int fd, const char* buffer, size_t size) { return ::_write(fd, buffer, static_cast<unsigned>(size)); }
void close_file(int fd) { ::_close(fd); }
bool sockets_ready() {
  WSADATA data;
  return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
}
#else
using socket_handle = int;
constexpr socket_handle kNoSocket = -1;
using socket_length = socklen_t;
socket_handle new_socket() { return ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0); }
socket_handle accept_one(socket_handle listener) { return ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC); }
void close_socket(socket_handle s) { ::close(s); }
int open_to_read(const std::string& path) { return ::open(path.c_str(), O_RDONLY | O_CLOEXEC); }
int open_to_write(const std::string& path) { return ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644); }
long read_file(int fd, char* buffer, size_t size) { return ::read(fd, buffer, size); }
long write_file(int fd, const char* buffer, size_t size) { return ::write(fd, buffer, size); }
void close_file(int fd) { ::close(fd); }
bool sockets_ready() { return true; }
#endif
} // namespace

double loopback_copy(const std::string& source, const std::string& destination) {
  if (!sockets_ready()) return -1;
  socket_handle listener = new_socket();
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socket_length len = sizeof at;
  if (listener == kNoSocket || ::bind(listener, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 ||
      ::listen(listener, 1) != 0 || ::getsockname(listener, reinterpret_cast<sockaddr*>(&at), &len) != 0) {
    if (listener != kNoSocket) close_socket(listener);
    return -1;
  }
  bool received_ok = false;
  uint64_t start = now_ns();
  std::thread receiver([&] {
    socket_handle c = accept_one(listener);
    int out = open_to_write(destination);
    std::unique_ptr<char[]> buffer(new char[kChunk]);
    bool ok = c != kNoSocket && out >= 0;
    while (ok) {
      long n = ::recv(c, buffer.get(), static_cast<int>(kChunk), 0);
      if (n == 0) break;
      ok = n > 0 && write_file(out, buffer.get(), static_cast<size_t>(n)) == n;
    }
    if (out >= 0) close_file(out);
    if (c != kNoSocket) close_socket(c);
    received_ok = ok;
  });
  socket_handle s = new_socket();
  int in = open_to_read(source);
  bool ok = s != kNoSocket && in >= 0 && ::connect(s, reinterpret_cast<sockaddr*>(&at), sizeof at) == 0;
  std::unique_ptr<char[]> buffer(new char[kChunk]);
  while (ok) {
    long n = read_file(in, buffer.get(), kChunk);
    if (n <= 0) break;
    // The platform layer takes a socket as an int, a Windows socket handle included.
    ok = send_all(static_cast<int>(s), buffer.get(), static_cast<size_t>(n));
  }
  if (in >= 0) close_file(in);
  if (s != kNoSocket) close_socket(s);
  receiver.join();
  double seconds = seconds_since(start);
  close_socket(listener);
  return ok && received_ok ? seconds : -1;
}

} // namespace transfer_bench
