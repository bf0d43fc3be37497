// agent-sim speaks through the agent's frame library and serves the agent's fixture source.
#pragma once
#include "agent/fixture_source.h"
#include "agent/wire.h"

namespace agent_sim {

using kit::agent::drain_until_close;
using kit::agent::frame;
using kit::agent::read_exact;
using kit::agent::read_request;
using kit::agent::request;
using kit::agent::request_reader;
using kit::agent::send_all;
using kit::agent::send_frame;
using kit::agent::write_bytes;
using phone_data = kit::agent::fixture_source;

} // namespace agent_sim
