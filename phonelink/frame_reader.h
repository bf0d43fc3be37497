// Reassembly of the agent's frames (big-endian 16-bit type, 32-bit payload length, then the
// payload) from the bytes a socket has received so far. Complete frames are handed over
// one by one; an incomplete one stays in the socket's receive buffer for the next call.
#pragma once
#include <cstdint>
#include <functional>

#include "common/agent_protocol.h"

namespace kit::phonelink {

// A header announcing more than the protocol's longest payload would make the host buffer
// without end, so it breaks the connection instead.
using agent::kFrameHeaderSize;
using agent::kMaxFramePayload;

struct frame_reader {
  bool need_header = true;
  uint32_t length = 0;       // payload length of the frame being assembled
  bool dispatching = false;  // set while a frame is being decoded
  bool broken = false;       // a header announced more than kMaxFramePayload

  // Called for every complete frame; returns false when the connection went away during the
  // call, which ends the walk at once.
  using frame_fn = std::function<bool(uint16_t type, const uint8_t* payload, uint32_t length)>;

  // Walks the complete frames at the front of data and returns the bytes they take.
  // When on_frame returns false the walk stops and the reader must not be used again.
  // A header announcing more than kMaxFramePayload stops the walk in front of it and sets
  // broken: the connection cannot be trusted any more and is to be failed.
  uint32_t feed(const uint8_t* data, uint32_t size, const frame_fn& on_frame);
};

} // namespace kit::phonelink
