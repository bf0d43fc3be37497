// The fake phone's file storage behind the two file-transfer ports. Files pushed by the
// host, and files a test puts there, live in a sandbox folder on the PC (AGENT_SIM_STORAGE,
// else $TMPDIR/agent-sim-storage); a phone path maps to a path inside it and never outside.
// Paths the data set lists but the sandbox does not hold are served with made-up bytes.
#pragma once
#include <cstdint>
#include <string>

#include "agent/phone_paths.h"
#include "agent_sim_wire.h"

namespace agent_sim {



// Misbehaviours of the transfer ports, from AGENT_SIM_TRANSFER (a comma list).
struct transfer_flags {
  bool slow = false;            // slow: bodies go out (and are read) in small pieces with pauses
  bool close_mid_file = false;  // close-mid-file: the connection ends half-way through a body
  bool wrong_length = false;    // wrong-length: a pull reply carries 3 bytes more than announced
  bool no_ack = false;          // no-ack: a push is stored but never acknowledged
};
const transfer_flags& transfer_misbehaviour();

// The sandbox folder, created on first use, with a trailing "/".
const std::string& storage_root();

// The sandbox path of a phone path: '/' and '\' separate folders, empty and "." parts are
// skipped. Empty when the path names no file or climbs out with "..".
std::string sandbox_path(const std::string& phone_path);

// Creates the missing folders above a sandbox path.
using kit::agent::make_parent_folders;

// Bytes for a pull request that the sandbox cannot serve: an icon (101) for an app
// package, a compressed picture (103), a video thumbnail (104), or a file (1) the data set
// lists. Empty when the data set does not know the path.
std::string made_up_content(uint16_t type, const std::string& phone_path, phone_data& data);

} // namespace agent_sim
