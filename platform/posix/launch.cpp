#include "platform/launch.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>


namespace kit::platform {
namespace {

// Exit codes of the middle process that say something other than the program's own code.
constexpr int kStillRunning = 255;
constexpr int kExecFailed = 254;

void pause_ms(int ms) {
  timespec t{ms / 1000, (ms % 1000) * 1000000L};
  while (::nanosleep(&t, &t) != 0 && errno == EINTR) {
  }
}

std::string lookup(const std::string& name) {
  if (name.find('/') != std::string::npos) return name;
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
  for (size_t at = 0; at <= dirs.size();) {
    size_t colon = dirs.find(':', at);
    if (colon == std::string::npos) colon = dirs.size();
    std::string dir = dirs.substr(at, colon - at);
    std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    at = colon + 1;
  }
  return {};
}

} // namespace

launch_result launch_detached(const std::vector<std::string>& argv, const std::string& cwd, int wait_ms) {
  launch_result result;
  if (argv.empty()) return result;
  std::string program = lookup(argv[0]);
  if (program.empty()) return result;
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const int wait_steps = wait_ms > 0 ? (wait_ms + 9) / 10 : 0;

  // The program is the grandchild: the middle process waits for it at most wait_ms and
  // passes its exit code on, so nothing is left for this process to reap later.
  pid_t middle = ::fork();
  if (middle < 0) return result;
  if (middle == 0) {
    ::setsid();
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) ::_exit(kExecFailed);
    pid_t child = ::fork();
    if (child < 0) ::_exit(kExecFailed);
    if (child == 0) {
      if (!cwd.empty() && ::chdir(cwd.c_str()) != 0) ::_exit(127);
      // The program's input and output are not the host's console.
      int devnull = ::open("/dev/null", O_RDWR);
      if (devnull >= 0) {
        ::dup2(devnull, 0);
        ::dup2(devnull, 1);
        ::dup2(devnull, 2);
        if (devnull > 2) ::close(devnull);
      }
      // Nothing of this process stays open in the program but the failure report (fd 3).
      if (report[1] != 3) {
        ::dup3(report[1], 3, O_CLOEXEC);
        report[1] = 3;
      }
      ::close_range(4, ~0u, 0);
      ::execv(program.c_str(), args.data());
      char failed = 1;
      (void)!::write(report[1], &failed, 1);
      ::_exit(127);
    }
    ::close(report[1]);
    char failed = 0;
    ssize_t n = ::read(report[0], &failed, 1);  // ends at the exec (the pipe closes) or its failure
    if (n == 1) ::_exit(kExecFailed);
    for (int i = 0; i < wait_steps; ++i) {
      int status = 0;
      if (::waitpid(child, &status, WNOHANG) == child)
        ::_exit(WIFEXITED(status) ? (WEXITSTATUS(status) >= kExecFailed ? 1 : WEXITSTATUS(status)) : 1);
      pause_ms(10);
    }
    ::_exit(kStillRunning);
  }
  int status = 0;
  while (::waitpid(middle, &status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) == kExecFailed) return result;
  result.started = true;
  if (WEXITSTATUS(status) != kStillRunning) {
    result.exited = true;
    result.exit_code = WEXITSTATUS(status);
  }
  return result;
}

std::vector<process_entry> list_processes() {
  std::vector<process_entry> out;
  DIR* proc = ::opendir("/proc");
  if (!proc) return out;
  while (dirent* e = ::readdir(proc)) {
    char* end = nullptr;
    long id = std::strtol(e->d_name, &end, 10);
    if (*e->d_name == '\0' || *end != '\0' || id < 1 || id > INT_MAX) continue;
    char target[PATH_MAX];
    std::string link = std::string("/proc/") + e->d_name + "/exe";
    ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
    if (n <= 0) continue;
    out.push_back({static_cast<int>(id), std::string(target, static_cast<size_t>(n))});
  }
  ::closedir(proc);
  return out;
}

bool kill_process(long long id) {
  if (id < 1 || id > INT_MAX) return false;
  return ::kill(static_cast<pid_t>(id), SIGKILL) == 0;
}

} // namespace kit::platform
