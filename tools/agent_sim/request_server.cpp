// Port 12300: one request per connection. Reads one request frame, answers with the reply
// frames of its type (the agent's own replies over the data set) and closes, unless a
// misbehaviour asks for something else. README ("Stand-in agent") lists the types.
#include "garbage.h"
#include "agent/replies.h"
#include "hostile.h"
#include "options.h"
#include "port_server.h"
#include "agent_sim_wire.h"

namespace agent_sim {

using kit::agent::frame;
using kit::agent::request;

namespace {

void serve(int fd, const options& opts, phone_data& data) {
  request req;
  if (!read_request(fd, req)) return;
  if (opts.silent) {
    drain_until_close(fd);
    return;
  }
  if (opts.garbage) {
    write_bytes(fd, garbage_bytes(opts.seed + req.type), opts.split);
    return;
  }
  if (opts.endless_frame) {
    send_endless_frame(fd, req.type);
    return;
  }
  if (opts.flood) {
    send_record_flood(fd, req.type, opts.flood, opts);
    return;
  }
  if (opts.close_early) {  // half of the first frame, then hang up
    kit::agent::answer(req, data, [&](const frame& f) {
      std::string first = f.bytes();
      write_bytes(fd, first.substr(0, first.size() / 2), false);
      return false;
    });
    return;
  }
  kit::agent::answer(req, data, [&](const frame& f) { return send_frame(fd, f, opts.split); });
}

} // namespace

const port_server request_server{"request", 12300, serve};

} // namespace agent_sim
