// Starting programs that outlive the call: documents opened with the desktop's opener,
// programs started by scripts. The program runs in a session of its own, with its input
// and output on /dev/null (not the host's console), and is never waited for beyond the
// time asked, so a long-running one never holds up the caller.
#pragma once
#include <string>
#include <vector>

namespace kit::platform {

struct launch_result {
  bool started = false;  // the program was found and executed
  bool exited = false;   // it ended within the time waited
  int exit_code = -1;    // its exit status when it ended
};

// Runs argv[0] (a path, or a name looked up in PATH) with the arguments, in the folder cwd
// when not empty. Waits at most wait_ms for it to end (0: not at all); a program still
// running then goes on by itself.
launch_result launch_detached(const std::vector<std::string>& argv, const std::string& cwd, int wait_ms);

// The ids and program paths (from /proc/<id>/exe) of every process whose program can be read.
struct process_entry {
  int id;
  std::string path;
};
std::vector<process_entry> list_processes();
// Kills the one process with this id (SIGKILL). Ids below 1 name no process (they would
// name groups or every process) and are refused.
bool kill_process(long long id);

} // namespace kit::platform
