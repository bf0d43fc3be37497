#include "phonelink/frame_reader.h"

namespace kit::phonelink {

uint32_t frame_reader::feed(const uint8_t* data, uint32_t size, const frame_fn& on_frame) {
  uint32_t consumed = 0;
  for (;;) {
    const uint8_t* frame = data + consumed;
    uint32_t present = size - consumed;
    if (broken) break;
    if (need_header) {
      if (present < kFrameHeaderSize) break;
      uint32_t announced = uint32_t(frame[2]) << 24 | uint32_t(frame[3]) << 16 | uint32_t(frame[4]) << 8 | frame[5];
      if (announced > kMaxFramePayload) {
        broken = true;
        break;
      }
      need_header = false;
      length = announced;
    }
    // 64-bit sum: a length near 2^32 must not wrap into a "complete" tiny frame.
    if (uint64_t(present) < uint64_t(length) + kFrameHeaderSize) break;
    consumed += length + kFrameHeaderSize;
    dispatching = true;
    auto type = static_cast<uint16_t>(frame[0] << 8 | frame[1]);
    uint32_t payload_length = length;
    if (!on_frame(type, frame + kFrameHeaderSize, payload_length)) return consumed;
    dispatching = false;
    need_header = true;
    length = 0;
  }
  return consumed;
}

} // namespace kit::phonelink
