// What the transfer benchmark needs around the measured runs: its own network, the
// stand-in agent as a child process, files of a given size, and the process's peak RSS.
#pragma once
#include "support/peak_memory.h"
#include <cstdint>
#include <string>

namespace transfer_bench {

constexpr size_t kChunk = 512000;  // the push chunk; the baseline copies in the same pieces

// agent-sim, or the phone-side agent on its fixture, with its storage in the given folder;
// stopped by the destructor. On Windows the run script starts agent-sim and passes its
// process id in BENCH_AGENT_PID; this object then only names it (no phone-side agent).
class agent_process {
public:
  agent_process(const std::string& storage, bool phone_agent);
  ~agent_process();
  bool ready() const { return ready_; }
  int pid() const { return pid_; }

private:
  int pid_ = -1;
  bool ready_ = false;
};

// The agent's storage folder: a new "phone" folder in dir; on Windows the one the run
// script gave agent-sim, named in BENCH_AGENT_STORAGE. Empty when there is none.
std::string agent_storage(const std::string& dir);
// A new folder of this user's only in parent; empty when none could be made.
std::string make_work_folder(const std::string& parent);

// Writes size bytes of a fixed pattern, making the folders above.
bool make_file(const std::string& path, uint64_t size);
// True when both files hold the same bytes.
bool same_content(const std::string& a, const std::string& b);
uint64_t file_size(const std::string& path);

// Processor time (user and system) used so far by this process, and by another one; the
// latter in clock ticks (usually 10 ms), 0 when unknown. The other process is a Linux
// one, read from /proc (under Wine through drive Z:).
double cpu_seconds_self();
double cpu_seconds_of(int pid);

// A memory figure of another process from /proc ("VmRSS", "VmHWM"), in KiB; 0 when unknown.
long rss_kib_of(int pid, const char* field);

// Peak resident set size of this process, in KiB.
using testsupport::peak_rss_kib;
double seconds_since(uint64_t start_ns);
uint64_t now_ns();

} // namespace transfer_bench
