#include "agent/listeners.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>

namespace kit::agent {

int listen_abstract(const std::string& name, std::string& why) {
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return why = std::strerror(errno), -1;
  sockaddr_un a{};
  a.sun_family = AF_UNIX;
  if (name.size() + 1 > sizeof a.sun_path) return ::close(fd), why = "name too long", -1;
  std::memcpy(a.sun_path + 1, name.data(), name.size());  // sun_path[0] == 0: abstract
  socklen_t length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
  if (::bind(fd, reinterpret_cast<sockaddr*>(&a), length) != 0 || ::listen(fd, 16) != 0) {
    why = std::strerror(errno);
    ::close(fd);
    return -1;
  }
  return fd;
}

int listen_tcp_loopback(uint16_t port, std::string& why) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return why = std::strerror(errno), -1;
  int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, 16) != 0) {
    why = std::strerror(errno);
    ::close(fd);
    return -1;
  }
  return fd;
}

bool peer_allowed(int fd, const std::vector<uint32_t>& uids) {
  ucred cred{};
  socklen_t length = sizeof cred;
  if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &length) != 0) return false;
  return std::find(uids.begin(), uids.end(), static_cast<uint32_t>(cred.uid)) != uids.end();
}

} // namespace kit::agent
