#include "agent/agent_server.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>
#include <vector>

#include "agent/listeners.h"
#include "agent/replies.h"
#include "agent/transfer_ports.h"
#include "common/agent_protocol.h"

namespace kit::agent {

namespace {
enum { kRequest, kPull, kPush, kNotify };
// The phone-side ports, in the order above; the abstract socket names carry them.
constexpr uint16_t kPhonePorts[] = {kRequestPort.remote, kPullPort.remote, kPushPort.remote, kNotifyPort.remote};
} // namespace

bool agent_server::listen(std::string& why) {
  for (int i = 0; i < 4; ++i) {
    std::string name = options_.tcp ? "127.0.0.1:" + std::to_string(options_.ports[i])
                                    : "mobrevist-" + std::to_string(kPhonePorts[i]);
    std::string reason;
    listeners_[i] = options_.tcp ? listen_tcp_loopback(options_.ports[i], reason) : listen_abstract(name, reason);
    if (listeners_[i] < 0) {
      why = "cannot listen on " + name + ": " + reason;
      for (int j = 0; j < i; ++j) ::close(listeners_[j]), listeners_[j] = -1;
      return false;
    }
  }
  return true;
}

void agent_server::run() {
  std::vector<std::thread> loops;
  for (int i = 0; i < 4; ++i) loops.emplace_back([this, i] { accept_loop(listeners_[i], i); });
  for (auto& t : loops) t.join();
}

void agent_server::accept_loop(int listener, int which) {
  for (;;) {
    int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno != EINTR) std::this_thread::sleep_for(std::chrono::milliseconds(10));  // out of descriptors: back off
      continue;
    }
    // An app of the phone could reach an abstract socket: only the shell user (and root)
    // may talk to the agent, as only they may read what it serves.
    if (!options_.tcp && !peer_allowed(fd, options_.peer_uids)) {
      ::close(fd);
      continue;
    }
    std::thread([this, fd, which] {
      serve(fd, which);
      ::close(fd);
    }).detach();
  }
}

void agent_server::serve(int fd, int which) {
  switch (which) {
    case kRequest: {
      request req;
      if (!read_request(fd, req)) return;
      answer(req, source_, [fd](const frame& f) { return send_frame(fd, f); });
      return;
    }
    case kPull: return serve_pull(fd, paths_, source_);
    case kPush: return serve_push(fd, paths_);
    default: return serve_notifications(fd);
  }
}

// Answers every hello (type 8) with what is due at once, and looks for changes every few
// seconds while the host stays connected.
void agent_server::serve_notifications(int fd) {
  bool greeted = false;
  auto send = [fd](const frame& f) { return send_frame(fd, f); };
  auto next_poll = std::chrono::steady_clock::now() + std::chrono::seconds(options_.poll_seconds);
  for (;;) {
    auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(next_poll - std::chrono::steady_clock::now()).count();
    pollfd p{fd, POLLIN, 0};
    int n = ::poll(&p, 1, wait > 0 ? static_cast<int>(wait) : 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return;
    if (n > 0) {
      request req;
      if (!read_request(fd, req)) return;
      if (req.type != msg::kConnect) continue;
      greeted = true;
      bool alive = true;
      source_.notices(true, [&](const frame& f) { return alive = send(f); });
      if (!alive) return;
      continue;
    }
    next_poll = std::chrono::steady_clock::now() + std::chrono::seconds(options_.poll_seconds);
    if (!greeted) continue;
    bool alive = true;
    source_.notices(false, [&](const frame& f) { return alive = send(f); });
    if (!alive) return;
  }
}

} // namespace kit::agent
