// Runs one of the phone's programs: by fork and execve with an argument array (never a
// shell), found through PATH by the agent itself, with a time-out after which it is killed
// and a cap on the output kept.
#pragma once
#include <string>
#include <vector>

namespace kit::agent {

struct command_result {
  bool started = false;     // false: not found or not executable (error says why)
  bool timed_out = false;   // killed at the time-out
  bool truncated = false;   // output beyond the cap was dropped
  int exit_code = -1;       // -1 when killed by a signal
  std::string out, err;     // standard output and error (the error capped at 64 KiB)
  std::string error;        // why it did not start

  bool ok() const { return started && !timed_out && exit_code == 0; }
};

struct command_limits {
  int timeout_ms = 20000;
  size_t max_output = 32u << 20;
};

command_result run_command(const std::vector<std::string>& argv, const command_limits& limits = {});

// The full path of a program name through PATH ("" when none is executable); a name
// with a '/' is taken as it is.
std::string find_program(const std::string& name);

} // namespace kit::agent
