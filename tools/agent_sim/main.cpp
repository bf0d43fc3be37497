// agent-sim: plays the phone's agent app on 127.0.0.1 for the host's tests and demo. It
// serves each port of port_servers() and prints "agent-sim ready" once all of them listen.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <string>
#include <thread>

#include "options.h"
#include "agent_sim_wire.h"
#include "port_server.h"

using namespace agent_sim;

namespace {

int listen_on(const std::string& host, uint16_t port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  if (::inet_pton(AF_INET, host.c_str(), &a.sin_addr) != 1 || ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      ::listen(fd, 16) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

std::string default_data_file() {
  char buf[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n > 0) {
    std::string exe(buf, static_cast<size_t>(n));
    std::string beside = exe.substr(0, exe.rfind('/') + 1) + "agent-sim-data.txt";
    if (::access(beside.c_str(), R_OK) == 0) return beside;
  }
  return AGENT_SIM_SOURCE_DATA;
}

} // namespace

int main(int argc, char** argv) {
  std::signal(SIGPIPE, SIG_IGN);
  static options opts;
  if (!parse_options(argc, argv, opts)) return 2;
  if (opts.data_file.empty()) opts.data_file = default_data_file();
  static phone_data data;
  if (!data.load(opts.data_file)) return 1;

  std::vector<std::thread> servers;
  for (const port_server& server : port_servers()) {
    int listener = listen_on(opts.host, opts.port_for(server.port));
    if (listener < 0) {
      std::fprintf(stderr, "agent-sim: cannot listen on %s:%u (%s)\n", opts.host.c_str(), opts.port_for(server.port),
                   server.name);
      return 1;
    }
    servers.emplace_back([listener, &server] {
      for (;;) {
        int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
          std::this_thread::sleep_for(std::chrono::milliseconds(10));  // out of descriptors: back off
          continue;
        }
        std::thread([fd, &server] {
          server.serve(fd, opts, data);
          ::close(fd);
        }).detach();
      }
    });
  }
  std::printf("agent-sim ready\n");
  std::fflush(stdout);
  for (auto& t : servers) t.join();
  return 0;
}
