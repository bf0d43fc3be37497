// What a decoder made of one frame from the agent: whether the callback is called and with
// which arguments, and whether the frame ends its request.
#pragma once
#include <cstdint>

#include "phonelink/script_value.h"

namespace kit::phonelink {

struct decoded_frame {
  bool known = false;  // the frame type has a decoder
  bool call = false;   // the callback is called with args
  script_args args;
  bool ends = false;   // the final frame of a request
};

// Replies on a request connection; the callback's first argument is always 5.
decoded_frame decode_reply(uint16_t type, const uint8_t* payload, uint32_t size);
// Frames on the notification channel; the first argument is the frame type.
decoded_frame decode_notification(uint16_t type, const uint8_t* payload, uint32_t size);

// The callback's first argument for replies, and for a failed request connection.
constexpr int kReplyCode = 5;
constexpr int kRequestFailedCode = 6;

} // namespace kit::phonelink
