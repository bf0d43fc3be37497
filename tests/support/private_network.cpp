#include "support/private_network.h"

#include <cstdlib>
#include <cstring>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testsupport {

namespace {
bool private_network = false;
}

bool enter_private_network() {
  const char* shared = std::getenv("MOBREVIST_TEST_SHARED_NETWORK");
  if (shared && std::strcmp(shared, "1") == 0) return false;
  if (::unshare(CLONE_NEWNET) != 0) return false;
  int s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (s < 0) return false;
  ifreq ifr{};
  std::strncpy(ifr.ifr_name, "lo", IFNAMSIZ - 1);
  bool ok = ::ioctl(s, SIOCGIFFLAGS, &ifr) == 0;
  if (ok) {
    ifr.ifr_flags |= IFF_UP | IFF_RUNNING;
    ok = ::ioctl(s, SIOCSIFFLAGS, &ifr) == 0;
  }
  ::close(s);
  private_network = ok;
  return ok;
}

bool has_private_network() { return private_network; }

} // namespace testsupport
