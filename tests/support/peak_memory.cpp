#include "support/peak_memory.h"

#ifdef _WIN32
#include <windows.h>
#include <psapi.h>
#else
#include <sys/resource.h>
#endif

namespace testsupport {

long peak_rss_kib() {
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
