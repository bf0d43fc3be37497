#include "bench_support.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#ifndef _WIN32
extern char** environ;
#endif

namespace fs = std::filesystem;

namespace transfer_bench {

#ifdef _WIN32
// Wine runs no Linux program with handles of use to a Windows one, so the run script starts
// agent-sim (scripts/bench --windows) and names it in the environment; it also stops it.
agent_process::agent_process(const std::string&, bool phone_agent) {
  const char* pid = std::getenv("BENCH_AGENT_PID");
  if (phone_agent || !pid) return;
  pid_ = std::atoi(pid);
  ready_ = pid_ > 0;
}

agent_process::~agent_process() = default;

std::string agent_storage(const std::string&) {
  const char* given = std::getenv("BENCH_AGENT_STORAGE");
  return given ? given : "";
}
#else
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

std::string agent_storage(const std::string& dir) {
  std::error_code ec;
  fs::create_directories(dir + "/phone", ec);
  return ec ? "" : dir + "/phone";
}
#endif

std::string make_work_folder(const std::string& parent) {
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = parent + "/bench-transfer-" + std::to_string(random());
    std::error_code ec;
    if (fs::create_directory(name, ec)) {
      fs::permissions(name, fs::perms::owner_all, ec);
      return name;
    }
  }
  return {};
}

namespace {
// A file of another process's /proc folder; under Wine the Linux one, on drive Z:.
std::string proc_file(int pid, const char* name) {
#ifdef _WIN32
  return "Z:/proc/" + std::to_string(pid) + "/" + name;
#else
  return "/proc/" + std::to_string(pid) + "/" + name;
#endif
}
} // namespace

long rss_kib_of(int pid, const char* field) {
  FILE* f = std::fopen(proc_file(pid, "status").c_str(), "r");
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
  std::error_code ec;
  fs::create_directories(fs::path(path).parent_path(), ec);
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  std::vector<char> block(1 << 20);
  uint64_t written = 0;
  bool ok = true;
  while (ok && written < size) {
    for (size_t i = 0; i < block.size(); i += 8) {
      uint64_t v = (written + i) * 0x9E3779B97F4A7C15ull;
      std::memcpy(&block[i], &v, 8);
    }
    size_t n = size - written < block.size() ? static_cast<size_t>(size - written) : block.size();
    ok = std::fwrite(block.data(), 1, n, f) == n;
    written += n;
  }
  return std::fclose(f) == 0 && ok;
}

bool same_content(const std::string& a, const std::string& b) {
  FILE* fa = std::fopen(a.c_str(), "rb");
  FILE* fb = std::fopen(b.c_str(), "rb");
  bool same = fa && fb;
  std::vector<char> ba(1 << 20), bb(1 << 20);
  while (same) {
    size_t na = std::fread(ba.data(), 1, ba.size(), fa);
    size_t nb = std::fread(bb.data(), 1, bb.size(), fb);
    if (na != nb || std::ferror(fa) || std::ferror(fb)) same = false;
    else if (na == 0) break;
    else same = std::memcmp(ba.data(), bb.data(), na) == 0;
  }
  if (fa) std::fclose(fa);
  if (fb) std::fclose(fb);
  return same;
}

uint64_t file_size(const std::string& path) {
  std::error_code ec;
  uint64_t size = fs::file_size(path, ec);
  return ec ? 0 : size;
}

double cpu_seconds_self() {
#ifdef _WIN32
  FILETIME created, exited, kernel, user;
  if (!::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
  auto seconds = [](const FILETIME& t) {
    return static_cast<double>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
  };
  return seconds(kernel) + seconds(user);
#else
  rusage u{};
  ::getrusage(RUSAGE_SELF, &u);
  auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
  return seconds(u.ru_utime) + seconds(u.ru_stime);
#endif
}

double cpu_seconds_of(int pid) {
  FILE* f = std::fopen(proc_file(pid, "stat").c_str(), "r");
  if (!f) return 0;
  char buf[1024];
  size_t n = std::fread(buf, 1, sizeof buf - 1, f);
  std::fclose(f);
  if (n == 0) return 0;
  buf[n] = 0;
  // Fields 14 and 15 (utime, stime) follow the command name in parentheses, which may hold
  // blanks: count from its closing parenthesis (field 2).
  const char* p = std::strrchr(buf, ')');
  if (!p) return 0;
  unsigned long long utime = 0, stime = 0;
  if (std::sscanf(p + 1, " %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &utime, &stime) != 2) return 0;
#ifdef _WIN32
  const double ticks_per_second = 100;  // Linux's USER_HZ, the unit of /proc for every program
#else
  const double ticks_per_second = static_cast<double>(::sysconf(_SC_CLK_TCK));
#endif
  return static_cast<double>(utime + stime) / ticks_per_second;
}

uint64_t now_ns() {
  return static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch()).count());
}

double seconds_since(uint64_t start_ns) { return static_cast<double>(now_ns() - start_ns) / 1e9; }

} // namespace transfer_bench
