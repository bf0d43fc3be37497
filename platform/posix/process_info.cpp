#include "platform/process_info.h"

#include <climits>
#include <cstdlib>
#include <ctime>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kit::platform {

std::vector<std::string> utf8_arguments(int argc, char** argv) { return std::vector<std::string>(argv, argv + argc); }

std::string executable_path() {
  char buf[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return {};
  buf[n] = 0;
  char real[PATH_MAX];
  if (::realpath(buf, real)) return real;
  return std::string(buf, static_cast<size_t>(n));
}

std::string temp_path() {
  const char* t = std::getenv("TMPDIR");
  std::string dir = (t && *t) ? t : "/tmp";
  if (dir.back() != '/') dir += '/';
  return dir;
}

unsigned tick_count() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  unsigned long long ms = static_cast<unsigned long long>(ts.tv_sec) * 1000ull + ts.tv_nsec / 1000000;
  return static_cast<unsigned>(ms);
}

} // namespace kit::platform

namespace kit::platform {

int current_process_id() { return static_cast<int>(::getpid()); }

bool is_terminal(int stream) { return stream >= 0 && stream <= 2 && ::isatty(stream) == 1; }

int terminal_columns() {
  winsize size {};
  if (::ioctl(1, TIOCGWINSZ, &size) != 0) return 0;
  return size.ws_col;
}

bool standard_input_is_fed() {
  struct stat st {};
  if (::fstat(0, &st) != 0) return false;
  if (S_ISREG(st.st_mode)) return st.st_size > 0;
  if (!S_ISFIFO(st.st_mode) && !S_ISSOCK(st.st_mode)) return false;
  // A pipe already at its end brought nothing; one still open may bring commands later.
  pollfd p{0, POLLIN, 0};
  if (::poll(&p, 1, 0) != 1) return true;
  char byte = 0;
  return ::read(0, &byte, 1) != 0;
}

} // namespace kit::platform
