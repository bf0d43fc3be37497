// Whether a process's peak memory says anything about the code under test in this build.
// ThreadSanitizer maps shadow memory in proportion to what the program touches and keeps
// freed blocks for a while, so peaks measured under it say nothing about the host.
#pragma once

namespace testsupport {

constexpr bool peak_memory_is_measurable() {
#if defined(__SANITIZE_THREAD__)
  return false;
#else
  return true;
#endif
}

// The process's peak resident size so far, in KiB.
long peak_rss_kib();

} // namespace testsupport
