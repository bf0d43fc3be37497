#include "platform/wait_event.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <vector>

namespace kit::platform {

wait_event::wait_event() : handle_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

wait_event::~wait_event() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));
}

void wait_event::set() {
  if (set_.exchange(true)) return;
  uint64_t one = 1;
  ssize_t n = ::write(static_cast<int>(handle_), &one, sizeof one);
  (void)n;
}

void wait_event::reset() {
  if (!set_.exchange(false)) return;
  uint64_t value;
  ssize_t n = ::read(static_cast<int>(handle_), &value, sizeof value);
  (void)n;
}

bool wait_event::wait(int timeout_ms) const {
  const wait_event* self = this;
  return wait_any(&self, 1, timeout_ms) == 0;
}

int wait_event::wait_any(const wait_event* const* events, size_t count, int timeout_ms) {
  auto first_set = [&]() -> int {
    for (size_t k = 0; k < count; ++k)
      if (events[k]->set_) return static_cast<int>(k);
    return -1;
  };
  if (int k = first_set(); k >= 0) return k;
  std::vector<pollfd> fds(count);
  for (size_t k = 0; k < count; ++k) fds[k] = {static_cast<int>(events[k]->handle_), POLLIN, 0};
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms < 0 ? 0 : timeout_ms);
  for (;;) {
    int left = -1;
    if (timeout_ms >= 0) {
      auto rest = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      left = rest.count() < 0 ? 0 : static_cast<int>(rest.count());
    }
    int rc = ::poll(fds.data(), fds.size(), left);
    if (int k = first_set(); k >= 0) return k;
    if (rc == 0) return -1;
    if (rc < 0 && errno != EINTR) return -1;
  }
}

} // namespace kit::platform
