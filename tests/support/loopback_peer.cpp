#include "loopback_peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/stream_io.h"
#include "platform/ui_loop.h"

namespace phonelink_test {

loopback_peer::loopback_peer(std::function<void(int)> serve, int connections, uint16_t port) {
  listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int one = 1;
  ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(port);
  ::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a);
  ::listen(listener_, 8);
  socklen_t len = sizeof a;
  ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len);
  port_ = ntohs(a.sin_port);
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

void run_ui_loop() {
  auto& loop = kit::platform::ui_loop::instance();
  loop.restart();
  loop.run();
}

void stop_ui_loop() { kit::platform::ui_loop::instance().stop(); }

} // namespace phonelink_test
