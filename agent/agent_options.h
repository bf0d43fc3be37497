// The agent's command line.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace kit::agent {

struct agent_options {
  enum class action { serve, daemon, status, self_test, version, help } what = action::serve;
  bool tcp = false;                 // --tcp: loopback TCP ports instead of abstract sockets
  std::vector<uint16_t> ports;      // --ports R,PULL,PUSH,N (TCP only)
  std::string root;                 // --root DIR: prefixed to every phone path
  std::string fixture;              // --fixture FILE: serve a data set instead of the phone
  std::string state_dir;            // --state-dir DIR: pid file and log (default: beside the program)
  std::vector<uint32_t> peer_uids = {0, 2000};  // --peer-uids LIST: who may connect (root, shell)
  int poll_seconds = 5;             // --poll-seconds N: how often notifications are looked for
  int command_timeout_ms = 20000;   // --command-timeout-ms N: for each Android command
};

// Parses argv; false with a message in error (the caller prints usage, exits 2).
bool parse_agent_options(int argc, char** argv, agent_options& out, std::string& error);

extern const char* const kAgentUsage;

} // namespace kit::agent
