#include "transfer_fixture.h"

#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <boost/asio/steady_timer.hpp>

#include "common/singleton_ex.h"
#include "host/message_window.h"
#include "platform/ui_loop.h"
#include "platform/ui_loop_asio.h"

using kit::design_pattern::singleton_ex;

namespace transfer_test {

ui_session::ui_session() {
  kit::platform::ui_loop::instance().restart();
  singleton_ex<CMessageWindow>::acquire()->Create("OtterMessageWnd");
}

ui_session::~ui_session() {
  if (CMessageWindow* w = singleton_ex<CMessageWindow>::peek()) w->Destroy();
  singleton_ex<CMessageWindow>::release();
}

bool ui_session::run_until(const std::function<bool()>& done, int limit_ms) {
  auto& loop = kit::platform::ui_loop::instance();
  loop.restart();
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limit_ms);
  boost::asio::steady_timer timer(kit::platform::ui_io_context());
  std::function<void()> check = [&] {
    if (done() || std::chrono::steady_clock::now() > deadline) {
      loop.stop();
      return;
    }
    timer.expires_after(std::chrono::milliseconds(2));
    timer.async_wait([&](const boost::system::error_code& ec) {
      if (!ec) check();
    });
  };
  loop.post(check);
  loop.run();
  timer.cancel();
  // Leave the loop runnable, so workers' hand-overs queue up until the next run.
  loop.restart();
  return done();
}

tcp_server::tcp_server(uint16_t port, std::function<void(int fd)> handler) : handler_(std::move(handler)) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_port = htons(port);
  at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 || ::listen(fd, 8) != 0) {
    ::close(fd);
    return;
  }
  listen_fd_ = fd;
  if (::pipe(wake_) != 0) return;
  thread_ = std::thread([this] {
    for (;;) {
      pollfd p[2] = {{listen_fd_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
      if (::poll(p, 2, -1) < 0) continue;
      if (p[1].revents) return;
      int c = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (c < 0) continue;
      ++connections_;
      handler_(c);
      ::close(c);
    }
  });
}

tcp_server::~tcp_server() {
  if (wake_[1] >= 0) {
    char b = 0;
    ssize_t n = ::write(wake_[1], &b, 1);
    (void)n;
  }
  if (thread_.joinable()) thread_.join();
  for (int fd : {listen_fd_, wake_[0], wake_[1]})
    if (fd >= 0) ::close(fd);
}

uint32_t le32(const std::string& b, size_t o) {
  return uint32_t(uint8_t(b[o])) | uint32_t(uint8_t(b[o + 1])) << 8 | uint32_t(uint8_t(b[o + 2])) << 16 |
         uint32_t(uint8_t(b[o + 3])) << 24;
}

} // namespace transfer_test
