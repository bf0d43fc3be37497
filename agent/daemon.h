// Running on the phone: detaching from `adb shell` (which sends SIGHUP to its child and
// closes its pipes when the cable or the shell goes), the pid file that lets a second start
// replace the first, and the status a host reads before it decides to push a new agent.
#pragma once
#include <optional>
#include <string>

namespace kit::agent {

// The folder of the running program ("" when unknown).
std::string program_folder();

struct running_agent {
  int pid = 0;
  std::string version;
};
// The agent the pid file of state_dir names, when it still runs.
std::optional<running_agent> find_running(const std::string& state_dir);
// Ends the agent of the pid file (not this process): SIGTERM, then SIGKILL after 3 s.
void stop_running(const std::string& state_dir);
// Records this process in the pid file.
bool write_pid_file(const std::string& state_dir, const std::string& version);
// Ends this process once the pid file no longer names it (removed, or taken by a newer
// start): checked every two seconds on a thread of its own.
void exit_when_pid_file_changes(const std::string& state_dir);

// Detaches: forks, and in the child starts a new session, ignores SIGHUP and SIGPIPE, sends
// standard output and error to log_path, reads nothing, and moves to "/". The parent waits
// for the child's report (report_ready) and exits with its status, printing its line; it
// never returns. In the child, returns the descriptor report_ready writes to.
int detach(const std::string& log_path);
// The child's report: a line for the parent to print and its exit status.
void report_ready(int fd, const std::string& line, int status);

} // namespace kit::agent
