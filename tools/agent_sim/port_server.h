// One listening port of the agent. main() starts every server of port_servers() on its
// own thread; each accepted connection is served on a thread of its own.
#pragma once
#include <cstdint>
#include <vector>

#include "agent_sim_wire.h"

namespace agent_sim {

struct options;


struct port_server {
  const char* name;
  uint16_t port;
  // Serves one accepted connection; the caller closes fd afterwards.
  void (*serve)(int fd, const options& opts, phone_data& data);
};

// The servers main() starts, in order.
const std::vector<port_server>& port_servers();

// Defined by each server's own file.
extern const port_server request_server;       // 12300
extern const port_server notification_server;  // 12303

} // namespace agent_sim
