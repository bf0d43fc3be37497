#include "bench_support.h"

#include <fcntl.h>
#include <net/if.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <memory>
#include <vector>

extern char** environ;

namespace transfer_bench {


agent_process::agent_process(const std::string& storage, bool phone_agent) {
  int out[2];
  if (::pipe2(out, O_CLOEXEC) != 0) return;
  std::vector<std::string> env_strings;
  for (char** e = environ; *e; ++e)
    if (std::strncmp(*e, "AGENT_SIM_", 10) != 0) env_strings.push_back(*e);
  env_strings.push_back("AGENT_SIM_STORAGE=" + storage);
  std::vector<char*> envp;
  for (auto& s : env_strings) envp.push_back(s.data());
  envp.push_back(nullptr);
  // The phone-side agent serves the same data set, its storage under --root.
  std::string program = std::string(MOBREVIST_BIN_DIR) + (phone_agent ? "/mobrevist-agent" : "/agent-sim");
  std::vector<std::string> words = {program};
  if (phone_agent)
    words.insert(words.end(), {"--tcp", "--root", storage, "--fixture", std::string(MOBREVIST_BIN_DIR) + "/agent-sim-data.txt",
                               "--state-dir", storage});
  std::vector<char*> argv;
  for (auto& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  const std::string ready_line = phone_agent ? "mobrevist-agent ready" : "agent-sim ready";
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, out[1], 1);
  int rc = ::posix_spawn(&pid_, program.c_str(), &fa, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&fa);
  ::close(out[1]);
  if (rc != 0) {
    pid_ = -1;
    ::close(out[0]);
    return;
  }
  std::string seen;
  char buf[256];
  while (seen.find(ready_line) == std::string::npos) {
    ssize_t n = ::read(out[0], buf, sizeof buf);
    if (n <= 0) break;
    seen.append(buf, static_cast<size_t>(n));
  }
  ::close(out[0]);
  ready_ = seen.find(ready_line) != std::string::npos;
}

agent_process::~agent_process() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  int status;
  ::waitpid(pid_, &status, 0);
}

long rss_kib_of(int pid, const char* field) {
  FILE* f = std::fopen(("/proc/" + std::to_string(pid) + "/status").c_str(), "r");
  if (!f) return 0;
  char line[256];
  long kib = 0;
  const size_t n = std::strlen(field);
  while (std::fgets(line, sizeof line, f))
    if (std::strncmp(line, field, n) == 0 && line[n] == ':') kib = std::strtol(line + n + 1, nullptr, 10);
  std::fclose(f);
  return kib;
}

bool make_file(const std::string& path, uint64_t size) {
  for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
    ::mkdir(path.substr(0, slash).c_str(), 0755);
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  std::vector<char> block(1 << 20);
  uint64_t written = 0;
  bool ok = true;
  while (ok && written < size) {
    for (size_t i = 0; i < block.size(); i += 8) {
      uint64_t v = (written + i) * 0x9E3779B97F4A7C15ull;
      std::memcpy(&block[i], &v, 8);
    }
    size_t n = size - written < block.size() ? static_cast<size_t>(size - written) : block.size();
    ok = ::write(fd, block.data(), n) == static_cast<ssize_t>(n);
    written += n;
  }
  ::close(fd);
  return ok;
}

bool same_content(const std::string& a, const std::string& b) {
  int fa = ::open(a.c_str(), O_RDONLY | O_CLOEXEC), fb = ::open(b.c_str(), O_RDONLY | O_CLOEXEC);
  bool same = fa >= 0 && fb >= 0;
  std::vector<char> ba(1 << 20), bb(1 << 20);
  while (same) {
    ssize_t na = ::read(fa, ba.data(), ba.size());
    ssize_t nb = ::read(fb, bb.data(), bb.size());
    if (na != nb || na < 0) same = false;
    else if (na == 0) break;
    else same = std::memcmp(ba.data(), bb.data(), static_cast<size_t>(na)) == 0;
  }
  if (fa >= 0) ::close(fa);
  if (fb >= 0) ::close(fb);
  return same;
}

uint64_t file_size(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

double cpu_seconds_self() {
  rusage u{};
  ::getrusage(RUSAGE_SELF, &u);
  auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
  return seconds(u.ru_utime) + seconds(u.ru_stime);
}

double cpu_seconds_of(int pid) {
  std::string stat = "/proc/" + std::to_string(pid) + "/stat";
  int fd = ::open(stat.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  char buf[1024];
  ssize_t n = ::read(fd, buf, sizeof buf - 1);
  ::close(fd);
  if (n <= 0) return 0;
  buf[n] = 0;
  // Fields 14 and 15 (utime, stime) follow the command name in parentheses, which may hold
  // blanks: count from its closing parenthesis (field 2).
  const char* p = std::strrchr(buf, ')');
  if (!p) return 0;
  unsigned long long utime = 0, stime = 0;
  if (std::sscanf(p + 1, " %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &utime, &stime) != 2) return 0;
  return static_cast<double>(utime + stime) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

long peak_rss_kib() {
  rusage u{};
  ::getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

uint64_t now_ns() {
  return static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch()).count());
}

double seconds_since(uint64_t start_ns) { return static_cast<double>(now_ns() - start_ns) / 1e9; }

} // namespace transfer_bench
