// One child process with its output read while it runs (posix_spawn, pipes, a pidfd to
// notice the exit, an eventfd to notice cancellation).
#include "platform/process.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/process_info.h"

extern char** environ;

namespace kit::platform {

namespace {
using clock = std::chrono::steady_clock;

void close_fd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

// Moves a descriptor above the standard three so that the child's dup2 onto 0, 1 or 2
// never meets the same number (a host started with a closed standard stream).
int above_standard(int fd) {
  if (fd < 0 || fd > 2) return fd;
  int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
  ::close(fd);
  return moved;
}

bool make_pipe(int fds[2]) {
  if (::pipe2(fds, O_CLOEXEC) != 0) return false;
  fds[0] = above_standard(fds[0]);
  fds[1] = above_standard(fds[1]);
  if (fds[0] >= 0 && fds[1] >= 0) return true;
  close_fd(fds[0]);
  close_fd(fds[1]);
  return false;
}

// Appends what the pipe holds now, up to kMaxCapturedOutput in all; false once the write
// ends are all closed.
bool read_available(int fd, std::string& out) {
  char buf[65536];
  while (out.size() < kMaxCapturedOutput) {
    size_t room = kMaxCapturedOutput - out.size();
    ssize_t n = ::read(fd, buf, room < sizeof buf ? room : sizeof buf);
    if (n > 0) {
      out.append(buf, static_cast<size_t>(n));
      continue;
    }
    if (n == 0) return false;
    if (errno == EINTR) continue;
    return errno == EAGAIN || errno == EWOULDBLOCK;
  }
  return true;  // full: the rest stays in the pipe
}

int decode_status(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

int reap(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return decode_status(status);
}

struct spawned {
  pid_t pid = -1;
  int output = -1;  // read end of stdout + stderr
  int input = -1;   // write end of stdin
};

spawned spawn(const std::string& path, const std::vector<std::string>& args) {
  spawned child;
  int out[2], in[2];
  if (!make_pipe(out)) return child;
  if (!make_pipe(in)) {
    close_fd(out[0]);
    close_fd(out[1]);
    return child;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, out[1], 2);
  // Nothing else of the host (locks, sockets) may live on in the child or its daemons.
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);

  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);  // the host ignores it; the child should not inherit that
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  posix_spawnattr_setpgroup(&attr, 0);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  std::vector<char*> argv;
  std::vector<std::string> copy = args;
  for (auto& a : copy) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  int rc = ::posix_spawn(&pid, path.c_str(), &actions, &attr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  close_fd(in[0]);
  close_fd(out[1]);
  if (rc != 0) {
    close_fd(in[1]);
    close_fd(out[0]);
    return child;
  }
  ::fcntl(out[0], F_SETFL, ::fcntl(out[0], F_GETFL) | O_NONBLOCK);
  child.pid = pid;
  child.output = out[0];
  child.input = in[1];
  return child;
}

void kill_group(pid_t pid) {
  // The group id is the child's pid; the child is not reaped yet, so the id is still ours.
  if (::kill(-pid, SIGKILL) != 0) ::kill(pid, SIGKILL);
}
} // namespace

process::process() : cancel_fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

process::~process() { close_fd(cancel_fd_); }

void process::cancel() {
  if (cancelled_.exchange(true)) return;
  uint64_t one = 1;
  ssize_t n = ::write(cancel_fd_, &one, sizeof one);
  (void)n;
}

process_result process::run(const std::string& command_line, int timeout_ms) {
  std::string exe = executable_path();
  auto slash = exe.rfind('/');
  return run(command_line, timeout_ms, slash == std::string::npos ? std::string() : exe.substr(0, slash + 1));
}

process_result process::run(const std::string& command_line, int timeout_ms, const std::string& program_dir) {
  return run(split_command_line(command_line), timeout_ms, program_dir);
}

process_result process::run(const std::vector<std::string>& args, int timeout_ms, const std::string& program_dir) {
  process_result result;
  if (cancelled_) {
    result.how = process_result::ending::cancelled;
    return result;
  }
  if (args.empty()) return result;
  std::string path = find_program(args[0], program_dir);
  if (path.empty()) return result;
  spawned child = spawn(path, args);
  if (child.pid < 0) return result;

  // Without a pidfd (old kernels) the exit is noticed by polling every few milliseconds.
  int exit_fd = static_cast<int>(::syscall(SYS_pidfd_open, child.pid, 0));
  const auto deadline = clock::now() + std::chrono::milliseconds(timeout_ms < 0 ? 0 : timeout_ms);
  bool output_open = true;
  auto ending = process_result::ending::exited;
  int exit_code = -1;
  bool reaped = false;

  for (;;) {
    pollfd fds[3];
    nfds_t count = 0;
    fds[count++] = pollfd{cancel_fd_, POLLIN, 0};
    if (exit_fd >= 0) fds[count++] = pollfd{exit_fd, POLLIN, 0};
    int output_slot = -1;
    if (output_open) {
      output_slot = static_cast<int>(count);
      fds[count++] = pollfd{child.output, POLLIN, 0};
    }
    int wait_ms = -1;
    if (timeout_ms >= 0) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock::now()).count();
      wait_ms = left < 0 ? 0 : static_cast<int>(left);
    }
    if (exit_fd < 0 && (wait_ms < 0 || wait_ms > 10)) wait_ms = 10;

    int rc = ::poll(fds, count, wait_ms);
    if (rc < 0 && errno != EINTR) {
      ending = process_result::ending::timed_out;  // cannot wait any more
      break;
    }

    if (output_slot >= 0 && rc > 0 && fds[output_slot].revents) output_open = read_available(child.output, result.output);
    if (result.output.size() >= kMaxCapturedOutput) {
      ending = process_result::ending::timed_out;  // output without end: given up on like a time-out
      break;
    }

    int status = 0;
    bool ended = false;
    if (exit_fd >= 0) {
      ended = rc > 0 && fds[1].revents;
    } else {
      pid_t w = ::waitpid(child.pid, &status, WNOHANG);
      if (w == child.pid) {
        ended = true;
        reaped = true;
        exit_code = decode_status(status);
      }
    }
    if (ended) break;
    if (cancelled_) {
      ending = process_result::ending::cancelled;
      break;
    }
    if (rc == 0 && timeout_ms >= 0 && clock::now() >= deadline) {
      ending = process_result::ending::timed_out;
      break;
    }
  }

  if (!reaped) {
    if (ending != process_result::ending::exited) kill_group(child.pid);
    exit_code = reap(child.pid);
  }
  // Whatever the program wrote before it ended is in the pipe now; a daemon it left
  // behind may keep the pipe open, so take only what is there.
  if (output_open) read_available(child.output, result.output);

  close_fd(exit_fd);
  close_fd(child.output);
  close_fd(child.input);
  result.how = ending;
  result.exit_code = exit_code;
  return result;
}

} // namespace kit::platform
