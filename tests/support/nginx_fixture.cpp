#include "support/nginx_fixture.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <vector>

extern char** environ;

namespace testsupport {

namespace {
// A port that was free a moment ago (the kernel picks it).
uint16_t free_port() {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  uint16_t port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
    port = ntohs(addr.sin_port);
  ::close(fd);
  return port;
}

bool accepts(uint16_t port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(port);
  bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  ::close(fd);
  return ok;
}

const char* nginx_binary() {
  for (const char* p : {"/usr/sbin/nginx", "/usr/local/sbin/nginx", "/usr/bin/nginx"})
    if (::access(p, X_OK) == 0) return p;
  return nullptr;
}
} // namespace

nginx_server::nginx_server(const std::string& extra_http, const std::string& extra_server) {
  const char* binary = nginx_binary();
  if (!binary) return;
  make_dirs(dir_ / "html");
  make_dirs(dir_ / "logs");
  make_dirs(dir_ / "temp");
  const std::string d = dir_.path();
  for (int attempt = 0; attempt < 5 && port_ == 0; ++attempt) {
    uint16_t port = free_port();
    const std::string conf = nginx_config(d, port, ::geteuid() == 0, extra_http, extra_server);
    write_file(dir_ / "nginx.conf", conf);
    std::string conf_path = dir_ / "nginx.conf";
    std::vector<std::string> args = {binary, "-p", d + "/", "-c", conf_path, "-e", d + "/logs/error.log"};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (::posix_spawn(&pid, binary, nullptr, nullptr, argv.data(), environ) != 0) return;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    bool up = false;
    while (std::chrono::steady_clock::now() < deadline) {
      if (accepts(port)) {
        up = true;
        break;
      }
      int status = 0;
      if (::waitpid(pid, &status, WNOHANG) == pid) {
        pid = -1;
        break;  // it exited (the port was taken since, say): try another
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (up) {
      pid_ = pid;
      port_ = port;
    } else if (pid > 0) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
    }
  }
}

nginx_server::~nginx_server() {
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    int status = 0;
    for (int i = 0; i < 500; ++i) {
      if (::waitpid(pid_, &status, WNOHANG) == pid_) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, &status, 0);
  }
}

} // namespace testsupport
