#include "agent/command.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace kit::agent {

namespace {
constexpr size_t kMaxErrorOutput = 64 * 1024;

// Close-on-exec from the start: commands run from several threads at once, and a pipe end
// inherited by another thread's child would keep this command's output open after it ended.
bool make_pipe(int fds[2]) { return ::pipe2(fds, O_CLOEXEC) == 0; }
} // namespace

std::string find_program(const std::string& name) {
  if (name.empty()) return {};
  if (name.find('/') != std::string::npos) return ::access(name.c_str(), X_OK) == 0 ? name : std::string();
  const char* path = std::getenv("PATH");
  std::string list = path && *path ? path : "/system/bin:/system/xbin:/vendor/bin:/bin:/usr/bin";
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find(':', start);
    if (end == std::string::npos) end = list.size();
    std::string dir = list.substr(start, end - start);
    if (!dir.empty()) {
      std::string candidate = dir + "/" + name;
      if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    start = end + 1;
  }
  return {};
}

command_result run_command(const std::vector<std::string>& argv, const command_limits& limits) {
  command_result r;
  if (argv.empty()) {
    r.error = "no program";
    return r;
  }
  std::string program = find_program(argv[0]);
  if (program.empty()) {
    r.error = argv[0] + ": not found";
    return r;
  }
  int out[2], err[2], status_pipe[2];
  if (!make_pipe(out)) return r.error = "no pipe", r;
  if (!make_pipe(err)) {
    ::close(out[0]), ::close(out[1]);
    return r.error = "no pipe", r;
  }
  if (!make_pipe(status_pipe)) {
    ::close(out[0]), ::close(out[1]), ::close(err[0]), ::close(err[1]);
    return r.error = "no pipe", r;
  }
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  pid_t pid = ::fork();
  if (pid == 0) {
    // The child: its own process group (so a time-out kills what it started too), the
    // pipes as standard output and error, nothing to read.
    ::setpgid(0, 0);
    int null_in = ::open("/dev/null", O_RDONLY);
    if (null_in >= 0) ::dup2(null_in, 0);
    ::dup2(out[1], 1);
    ::dup2(err[1], 2);
    ::signal(SIGPIPE, SIG_DFL);
    ::execve(program.c_str(), args.data(), environ);
    int e = errno;
    ssize_t ignored = ::write(status_pipe[1], &e, sizeof e);
    (void)ignored;
    ::_exit(127);
  }
  ::close(out[1]);
  ::close(err[1]);
  ::close(status_pipe[1]);
  if (pid < 0) {
    ::close(out[0]), ::close(err[0]), ::close(status_pipe[0]);
    r.error = std::string("fork: ") + std::strerror(errno);
    return r;
  }
  // The error pipe closes on a successful exec; a number on it is why exec failed.
  int exec_errno = 0;
  ssize_t got;
  do {
    got = ::read(status_pipe[0], &exec_errno, sizeof exec_errno);
  } while (got < 0 && errno == EINTR);
  ::close(status_pipe[0]);
  if (got == static_cast<ssize_t>(sizeof exec_errno)) {
    ::close(out[0]), ::close(err[0]);
    ::waitpid(pid, nullptr, 0);
    r.error = program + ": " + std::strerror(exec_errno);
    return r;
  }
  r.started = true;

  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limits.timeout_ms);
  pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  int open_fds = 2;
  char buffer[65536];
  while (open_fds > 0) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    if (left <= 0) {
      r.timed_out = true;
      break;
    }
    int n = ::poll(fds, 2, static_cast<int>(left));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      ssize_t k = ::read(fds[i].fd, buffer, sizeof buffer);
      if (k < 0 && errno == EINTR) continue;
      if (k <= 0) {
        ::close(fds[i].fd);
        fds[i].fd = -1;
        --open_fds;
        continue;
      }
      std::string& into = i == 0 ? r.out : r.err;
      size_t cap = i == 0 ? limits.max_output : kMaxErrorOutput;
      size_t room = into.size() < cap ? cap - into.size() : 0;
      if (static_cast<size_t>(k) > room) r.truncated = r.truncated || i == 0;
      into.append(buffer, std::min(room, static_cast<size_t>(k)));
    }
  }
  for (auto& f : fds)
    if (f.fd >= 0) ::close(f.fd);
  if (r.timed_out) ::kill(-pid, SIGKILL), ::kill(pid, SIGKILL);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  r.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

} // namespace kit::agent
