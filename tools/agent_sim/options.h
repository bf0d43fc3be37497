// What agent-sim was told on its command line and in its environment.
#pragma once
#include <string>

namespace agent_sim {

struct options {
  std::string data_file;      // --data FILE (default: agent-sim-data.txt beside the binary)
  bool split = false;         // --split: every frame leaves one byte per write
  bool close_early = false;   // --close-early: replies stop half-way through their first frame
  bool garbage = false;       // --garbage: random bytes instead of replies and notifications
  bool silent = false;        // --silent: requests are read and never answered
  unsigned seed = 1;          // --seed N: the garbage generator's seed
  unsigned long long flood = 0;  // --flood N: list replies are one frame of N tiny records
  bool endless_frame = false;    // --endless-frame: replies announce 0xFFFFFFFF bytes and never end
  std::string host = "127.0.0.1";  // --host ADDRESS to listen on
  // --ports R,PULL,PUSH,N: the ports instead of 12300, 12301, 12302 and 12303
  unsigned short ports[4] = {12300, 12301, 12302, 12303};

  // The port to listen on for a server of the given default port.
  unsigned short port_for(unsigned short default_port) const {
    return default_port >= 12300 && default_port <= 12303 ? ports[default_port - 12300] : default_port;
  }
};

// Parses argv and then AGENT_SIM_MISBEHAVE (a comma list of split, close-early, garbage,
// silent). Returns false (after printing usage) on an unknown argument.
bool parse_options(int argc, char** argv, options& out);

} // namespace agent_sim
