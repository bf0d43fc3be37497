// The list of ports agent-sim serves. A new server is a file defining a port_server and
// one line here.
#include "port_server.h"
#include "transfer_servers.h"

namespace agent_sim {

const std::vector<port_server>& port_servers() {
  static const std::vector<port_server> list = {
      request_server,
      notification_server,
      pull_server,
      push_server,
  };
  return list;
}

} // namespace agent_sim
