// The agent's listening sockets: abstract local sockets on the phone ("mobrevist-12186",
// ...) that take only allowed peers (checked by their credentials), or loopback TCP ports
// for tests and the demo on a PC.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace kit::agent {

// A listening socket, or -1 with why.
int listen_abstract(const std::string& name, std::string& why);
int listen_tcp_loopback(uint16_t port, std::string& why);

// Whether the peer of an accepted local socket runs as one of the allowed uids.
bool peer_allowed(int fd, const std::vector<uint32_t>& uids);

} // namespace kit::agent
