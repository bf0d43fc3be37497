// Waiting for a process that was killed to disappear.
#pragma once
#include <chrono>
#include <csignal>
#include <fstream>
#include <string>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#endif

namespace testsupport {

// True once the process is gone or only a zombie waiting for its reaper; waits up to 5 s
// because a killed process disappears asynchronously. A process still alive after that is
// killed so that a failing check leaves nothing behind.
#ifdef _WIN32
inline bool process_gone(int pid) {
  HANDLE h = ::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, static_cast<DWORD>(pid));
  if (!h) return true;
  bool gone = ::WaitForSingleObject(h, 5000) == WAIT_OBJECT_0;
  if (!gone) ::TerminateProcess(h, 1);
  ::CloseHandle(h);
  return gone;
}
#else
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
#endif

} // namespace testsupport
