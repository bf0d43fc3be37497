// Port 12303: the notification channel. Every frame of type 8 from the host is answered
// with the data set's notifications; the channel stays open until the host closes it.
#include "common/agent_protocol.h"
#include "garbage.h"
#include "options.h"
#include "port_server.h"
#include "agent_sim_wire.h"

namespace agent_sim {

namespace {

void serve(int fd, const options& opts, phone_data& data) {
  request req;
  while (read_request(fd, req)) {
    if (req.type != kit::agent::msg::kConnect || opts.silent) continue;
    if (opts.garbage) {
      if (!write_bytes(fd, garbage_bytes(opts.seed), opts.split)) return;
      continue;
    }
    bool alive = true;
    data.notices(true, [&](const frame& f) { return alive = send_frame(fd, f, opts.split); });
    if (!alive) return;
  }
}

} // namespace

const port_server notification_server{"notification", 12303, serve};

} // namespace agent_sim
