// Replies of a hostile agent, for the host's tests of its limits: a list reply flooded
// with tiny records in one frame, and a frame announcing 0xFFFFFFFF bytes that streams
// filler until the host hangs up.
#pragma once
#include <cstdint>

namespace agent_sim {

struct options;

// One frame of `records` five-byte records (an empty string and a byte) under status 0,
// then the end frame with status 2. False when the host has gone.
bool send_record_flood(int fd, uint16_t type, uint64_t records, const options& opts);

// The header of a frame of 0xFFFFFFFF bytes, then filler until the host closes (at most
// 1 GiB, so that a host that never gives up still ends the test).
void send_endless_frame(int fd, uint16_t type);

} // namespace agent_sim
