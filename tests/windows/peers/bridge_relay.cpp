// The debug-bridge client as the Windows program sees it, for the tests: it hands its
// arguments (UTF-8) to the relay of the test on 127.0.0.1:$MOBREVIST_BRIDGE_RELAY_PORT,
// which runs the Linux build's bridge stand-in with them, and gives back what that printed
// and its exit code. Wine starts Linux programs but gives the starter nothing to wait on or
// read from, so the stand-in cannot be started by the Windows program itself.
// The exchange is relay_wire.h's. Exit 255 when the relay is unreachable.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <shellapi.h>

#include <fcntl.h>
#include <io.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "relay_wire.h"

namespace {

std::string utf8(const wchar_t* text) {
  int n = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? static_cast<size_t>(n - 1) : 0, '\0');
  if (n > 1) ::WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
  return out;
}

bool send_all(SOCKET s, const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    int n = ::send(s, data.data() + done, static_cast<int>(data.size() - done), 0);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

bool read_exact(SOCKET s, char* into, size_t length) {
  while (length > 0) {
    int n = ::recv(s, into, static_cast<int>(length), 0);
    if (n <= 0) return false;
    into += n;
    length -= static_cast<size_t>(n);
  }
  return true;
}

bool read_u32(SOCKET s, uint32_t& v) {
  char b[4];
  if (!read_exact(s, b, 4)) return false;
  v = relay_wire::u32_at(b);
  return true;
}

bool read_block(SOCKET s, std::string& out) {
  uint32_t length = 0;
  if (!read_u32(s, length) || length > (64u << 20)) return false;
  out.assign(length, '\0');
  return read_exact(s, out.data(), length);
}

} // namespace

int main() {
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  const char* port = std::getenv("MOBREVIST_BRIDGE_RELAY_PORT");
  if (!port) {
    std::fputs("bridge_relay: MOBREVIST_BRIDGE_RELAY_PORT is not set\n", stderr);
    return 255;
  }
  int count = 0;
  wchar_t** args = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  std::string request;
  relay_wire::put_u32(request, static_cast<uint32_t>(count > 0 ? count - 1 : 0));
  for (int i = 1; i < count; ++i) {
    std::string arg = utf8(args[i]);
    relay_wire::put_u32(request, static_cast<uint32_t>(arg.size()));
    request += arg;
  }
  WSADATA data;
  if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) return 255;
  SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<u_short>(std::atoi(port)));
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  uint32_t code = 0;
  std::string out, err;
  if (s == INVALID_SOCKET || ::connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0 ||
      !send_all(s, request) || !read_u32(s, code) || !read_block(s, out) || !read_block(s, err)) {
    std::fputs("bridge_relay: the relay did not answer\n", stderr);
    return 255;
  }
  ::closesocket(s);
  std::fwrite(out.data(), 1, out.size(), stdout);
  std::fwrite(err.data(), 1, err.size(), stderr);
  return static_cast<int>(code);
}
