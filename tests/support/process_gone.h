// Waiting for a process that was killed to disappear.
#pragma once
#include <chrono>
#include <csignal>
#include <fstream>
#include <string>
#include <thread>

namespace testsupport {

// True once the process is gone or only a zombie waiting for its reaper; waits up to 5 s
// because a killed process disappears asynchronously. A process still alive after that is
// killed so that a failing check leaves nothing behind.
inline bool process_gone(int pid) {
  for (int i = 0; i < 500; ++i) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return true;
    auto close = line.rfind(')');
    if (close != std::string::npos && close + 2 < line.size() && line[close + 2] == 'Z') return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ::kill(pid, SIGKILL);
  return false;
}

} // namespace testsupport
