// The four local ports that the debug bridge forwards to the agent app on the phone.
#pragma once
#include <cstdint>

namespace kit::agent {

struct port_pair {
  uint16_t local;   // on 127.0.0.1
  uint16_t remote;  // on the phone
};

// One request per connection; framed requests and replies.
constexpr port_pair kRequestPort{12300, 12186};
// File pull; one persistent connection.
constexpr port_pair kPullPort{12301, 12176};
// File push; one file per connection.
constexpr port_pair kPushPort{12302, 12166};
// Notifications; one persistent connection.
constexpr port_pair kNotifyPort{12303, 12156};

constexpr port_pair kAllPorts[] = {kRequestPort, kPullPort, kPushPort, kNotifyPort};

} // namespace kit::agent
