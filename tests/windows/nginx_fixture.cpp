// The private nginx of the HTTP tests, for the Windows build under Wine: nginx is a Linux
// program, which Wine starts (through /bin/sh, which writes its process id) but gives no
// handle to wait on or end. So the server is known by its port, which it accepts on once
// it is up, and ended by a second shell that sends it SIGTERM. Its configuration names
// the Linux side of every folder, as Wine maps it.
#include "support/nginx_fixture.h"

#include "wine_host.h"

#include <winsock2.h>
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <thread>

namespace testsupport {

namespace {

struct winsock {
  winsock() {
    WSADATA data;
    ::WSAStartup(MAKEWORD(2, 2), &data);
  }
  ~winsock() { ::WSACleanup(); }
};

sockaddr_in loopback(uint16_t port) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(port);
  return addr;
}

uint16_t free_port() {
  winsock ws;
  SOCKET s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr = loopback(0);
  int len = sizeof addr;
  uint16_t port = 0;
  if (::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
      ::getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
    port = ntohs(addr.sin_port);
  ::closesocket(s);
  return port;
}

bool accepts(uint16_t port) {
  winsock ws;
  SOCKET s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr = loopback(port);
  bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  ::closesocket(s);
  return ok;
}

// Whether the Linux side runs as root (nginx then needs "user root").
bool linux_root() {
  std::string status = file_exists("Z:/proc/self/status") ? read_file("Z:/proc/self/status") : "";
  return status.find("\nUid:\t0\t") != std::string::npos;
}

} // namespace

nginx_server::nginx_server(const std::string& extra_http, const std::string& extra_server) {
  const char* binary = nullptr;
  for (const char* p : {"/usr/sbin/nginx", "/usr/local/sbin/nginx", "/usr/bin/nginx"})
    if (!binary && linux_file_exists(p)) binary = p;
  const std::string d = unix_path(dir_.path());
  if (!binary || d.empty()) return;
  make_dirs(dir_ / "html");
  make_dirs(dir_ / "logs");
  make_dirs(dir_ / "temp");
  for (int attempt = 0; attempt < 5 && port_ == 0; ++attempt) {
    uint16_t port = free_port();
    const std::string conf = nginx_config(d, port, linux_root(), extra_http, extra_server);
    write_file(dir_ / "nginx.conf", conf);
    std::remove((dir_ / "shell.pid").c_str());
    // exec keeps the shell's process id, so the file names nginx itself.
    if (!run_linux_shell("echo $$ > '" + d + "/shell.pid'; exec " + binary + " -p '" + d + "/' -c '" + d + "/nginx.conf' -e '" +
                   d + "/logs/error.log'"))
      return;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    bool up = false;
    while (!up && std::chrono::steady_clock::now() < deadline) {
      up = accepts(port);
      if (!up) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (file_exists(dir_ / "shell.pid")) pid_ = std::atoi(read_file(dir_ / "shell.pid").c_str());
    if (up && pid_ > 0) {
      port_ = port;
    } else if (pid_ > 0) {
      run_linux_shell("kill -9 " + std::to_string(pid_));
      pid_ = -1;
    }
  }
}

nginx_server::~nginx_server() {
  if (pid_ <= 0) return;
  run_linux_shell("kill " + std::to_string(pid_));
  for (int i = 0; i < 500 && port_ != 0 && accepts(port_); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

} // namespace testsupport
