#include "platform/standard_input.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

#include "platform/wait_event.h"

namespace kit::platform {

int64_t read_standard_input(void* buffer, size_t size, const wait_event* wake) {
  for (;;) {
    if (wake) {
      pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {static_cast<int>(wake->native_handle()), POLLIN, 0}};
      int rc = ::poll(fds, 2, -1);
      if (rc < 0) {
        if (errno == EINTR) continue;
        return -1;
      }
      if (fds[1].revents) return -1;
    }
    ssize_t n = ::read(STDIN_FILENO, buffer, size);
    if (n < 0 && errno == EINTR) continue;
    return n;
  }
}

} // namespace kit::platform
