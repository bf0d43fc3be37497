#include "support/raw_http_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>

namespace testsupport {

namespace {
thread_local raw_http_server* current_server = nullptr;
}

bool raw_connection::wait_readable() {
  pollfd fds[2] = {{fd_, POLLIN, 0}, {stop_fd_, POLLIN, 0}};
  for (;;) {
    int n = ::poll(fds, 2, -1);
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
    ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
    if (n <= 0) return {};
    pending_.append(buf, static_cast<size_t>(n));
  }
}

bool raw_connection::send(const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    pollfd fds[2] = {{fd_, POLLOUT, 0}, {stop_fd_, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0 && errno != EINTR) return false;
    if (fds[1].revents & POLLIN) return false;
    if (!(fds[0].revents & (POLLOUT | POLLERR | POLLHUP))) continue;
    ssize_t n = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

bool raw_connection::send_split(const std::string& bytes, size_t piece, int pause_ms) {
  for (size_t at = 0; at < bytes.size(); at += piece) {
    if (!send(bytes.substr(at, piece))) return false;
    pollfd stop = {stop_fd_, POLLIN, 0};
    if (pause_ms > 0 && ::poll(&stop, 1, pause_ms) > 0) return false;
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
    if (::recv(fd_, buf, sizeof buf, 0) <= 0) return;
  }
}

void raw_connection::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

raw_http_server::raw_http_server(std::function<void(raw_connection&)> serve) : serve_(std::move(serve)) {
  listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int one = 1;
  ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  if (::bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(listener_, 16) != 0) std::abort();
  socklen_t len = sizeof addr;
  ::getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len);
  port_ = ntohs(addr.sin_port);
  if (::pipe2(stop_pipe_, O_CLOEXEC) != 0) std::abort();
  thread_ = std::thread([this] { run(); });
}

raw_http_server::~raw_http_server() {
  char c = 1;
  (void)!::write(stop_pipe_[1], &c, 1);
  thread_.join();
  ::close(listener_);
  ::close(stop_pipe_[0]);
  ::close(stop_pipe_[1]);
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
    pollfd fds[2] = {{listener_, POLLIN, 0}, {stop_pipe_[0], POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents & POLLIN) return;
    int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    ++connections_;
    raw_connection connection(fd, stop_pipe_[0]);
    serve_(connection);
    connection.close();
  }
}

} // namespace testsupport
