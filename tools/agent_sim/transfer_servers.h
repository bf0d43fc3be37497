// The file-transfer ports of agent-sim (listed in port_servers.cpp).
#pragma once
#include "port_server.h"

namespace agent_sim {

extern const port_server pull_server;  // 12301
extern const port_server push_server;  // 12302

} // namespace agent_sim
