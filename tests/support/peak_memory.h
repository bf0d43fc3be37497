// Whether a process's peak memory says anything about the code under test in this build.
// ThreadSanitizer maps shadow memory in proportion to what the program touches and keeps
// freed blocks for a while, so peaks measured under it say nothing about the host.
#pragma once
#ifdef _WIN32
#include <windows.h>
#include <psapi.h>
#else
#include <sys/resource.h>
#endif

namespace testsupport {

constexpr bool peak_memory_is_measurable() {
#if defined(__SANITIZE_THREAD__)
  return false;
#else
  return true;
#endif
}

// The process's peak resident size so far, in KiB.
inline long peak_rss_kib() {
#ifdef _WIN32
  PROCESS_MEMORY_COUNTERS counters{};
  ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters);
  return static_cast<long>(counters.PeakWorkingSetSize / 1024);
#else
  rusage u{};
  ::getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
#endif
}

} // namespace testsupport
