#include "agent/daemon.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

namespace kit::agent {

namespace {
std::string pid_file(const std::string& state_dir) { return state_dir + "/mobrevist-agent.pid"; }

bool is_agent(int pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/cmdline", std::ios::binary);
  std::string cmdline((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return cmdline.find("mobrevist-agent") != std::string::npos;
}

bool alive(int pid) { return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM); }
} // namespace

std::string program_folder() {
  char buf[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return {};
  std::string exe(buf, static_cast<size_t>(n));
  size_t slash = exe.rfind('/');
  return slash == std::string::npos || slash == 0 ? "/" : exe.substr(0, slash);
}

std::optional<running_agent> find_running(const std::string& state_dir) {
  std::ifstream in(pid_file(state_dir));
  running_agent a;
  if (!(in >> a.pid >> a.version)) return std::nullopt;
  if (a.pid == ::getpid() || !alive(a.pid) || !is_agent(a.pid)) return std::nullopt;
  return a;
}

void stop_running(const std::string& state_dir) {
  auto other = find_running(state_dir);
  if (!other) return;
  ::kill(other->pid, SIGTERM);
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  while (alive(other->pid) && is_agent(other->pid) && std::chrono::steady_clock::now() < deadline) {
    ::waitpid(other->pid, nullptr, WNOHANG);  // reaps it when it was our own child (tests)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (alive(other->pid) && is_agent(other->pid)) ::kill(other->pid, SIGKILL);
}

bool write_pid_file(const std::string& state_dir, const std::string& version) {
  std::string path = pid_file(state_dir), temp = path + ".new";
  {
    std::ofstream out(temp, std::ios::trunc);
    out << ::getpid() << " " << version << "\n";
    if (!out.flush()) return false;
  }
  return std::rename(temp.c_str(), path.c_str()) == 0;
}

void exit_when_pid_file_changes(const std::string& state_dir) {
  std::thread([state_dir] {
    for (;;) {
      std::this_thread::sleep_for(std::chrono::seconds(2));
      std::ifstream in(pid_file(state_dir));
      int pid = 0;
      if (!(in >> pid) || pid != ::getpid()) {
        std::fprintf(stderr, "mobrevist-agent: the pid file no longer names this agent; ending\n");
        std::_Exit(0);
      }
    }
  }).detach();
}

int detach(const std::string& log_path) {
  int report[2];
  if (::pipe(report) != 0) return -1;
  pid_t pid = ::fork();
  if (pid < 0) return -1;
  if (pid > 0) {
    ::close(report[1]);
    std::string text;
    char buf[512];
    for (;;) {
      ssize_t n = ::read(report[0], buf, sizeof buf);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      text.append(buf, static_cast<size_t>(n));
    }
    // The first byte is the status, the rest the line.
    int status = text.empty() ? 1 : static_cast<unsigned char>(text[0]);
    std::string line = text.size() > 1 ? text.substr(1) : "the agent stopped before it listened; see " + log_path;
    std::fprintf(status == 0 ? stdout : stderr, "%s\n", line.c_str());
    std::fflush(nullptr);
    std::_Exit(status);
  }
  ::close(report[0]);
  ::setsid();
  ::signal(SIGHUP, SIG_IGN);
  ::signal(SIGPIPE, SIG_IGN);
  int null_in = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (null_in >= 0) ::dup2(null_in, 0);
  struct stat st {};
  if (::stat(log_path.c_str(), &st) == 0 && st.st_size > (1 << 20)) std::rename(log_path.c_str(), (log_path + ".1").c_str());
  int log = ::open(log_path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (log < 0) log = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (log >= 0) {
    ::dup2(log, 1);
    ::dup2(log, 2);
  }
  if (::chdir("/") != 0) {
  }
  ::fcntl(report[1], F_SETFD, FD_CLOEXEC);
  return report[1];
}

void report_ready(int fd, const std::string& line, int status) {
  if (fd < 0) return;
  std::string message(1, static_cast<char>(status));
  message += line;
  ssize_t ignored = ::write(fd, message.data(), message.size());
  (void)ignored;
  ::close(fd);
}

} // namespace kit::agent
