// The test's end of the bridge relay (peers/bridge_relay.cpp, which a Windows test install
// has as its adb_help.exe): for each command line the program's bridge client hands over,
// it runs the Linux build's bridge stand-in with it on the Linux side and answers with what
// that printed and its exit code, one command at a time.
#pragma once
#include <cstdint>
#include <string>

#include "support/loopback_peer.h"

namespace testsupport {

class bridge_relay_server {
public:
  // scenario: the stand-in's scenario file (a Windows path).
  explicit bridge_relay_server(const std::string& scenario);
  uint16_t port() const { return peer_.port(); }

private:
  phonelink_test::loopback_peer peer_;
};

} // namespace testsupport
