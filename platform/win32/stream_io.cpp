// Blocking reads and writes on a connected Winsock stream socket. The int the interface
// takes is the SOCKET: Windows socket handles are kernel handles, 32-bit values even in
// 64-bit processes. Windows raises no signal on a closed peer; a send fails instead.
#include "platform/stream_io.h"

#include <winsock2.h>

namespace kit::platform {
namespace {

SOCKET as_socket(int fd) { return static_cast<SOCKET>(static_cast<intptr_t>(fd)); }

// The calls take an int length: a longer buffer goes in parts.
int part_of(size_t length) { return length > 0x40000000 ? 0x40000000 : static_cast<int>(length); }

} // namespace

bool send_all(int fd, const void* data, size_t length) {
  const char* p = static_cast<const char*>(data);
  while (length > 0) {
    int n = ::send(as_socket(fd), p, part_of(length), 0);
    if (n == SOCKET_ERROR && ::WSAGetLastError() == WSAEINTR) continue;
    if (n <= 0) return false;
    p += n;
    length -= static_cast<size_t>(n);
  }
  return true;
}

bool read_exact(int fd, void* data, size_t length) {
  char* p = static_cast<char*>(data);
  while (length > 0) {
    int n = ::recv(as_socket(fd), p, part_of(length), 0);
    if (n == SOCKET_ERROR && ::WSAGetLastError() == WSAEINTR) continue;
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
    int n = ::recv(as_socket(fd), buf, sizeof buf, 0);
    if (n == SOCKET_ERROR && ::WSAGetLastError() == WSAEINTR) continue;
    if (n <= 0) return out;
    out.append(buf, static_cast<size_t>(n));
  }
}

} // namespace kit::platform
