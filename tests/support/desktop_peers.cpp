#include "support/desktop_peers.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include "support/temp_dir.h"

extern char** environ;

namespace testsupport {
namespace {

// The current environment with the given NAME=value entries replacing their namesakes.
std::vector<std::string> merged_env(const std::vector<std::string>& extra) {
  std::vector<std::string> out;
  for (char** e = environ; *e; ++e) {
    std::string s = *e, name = s.substr(0, s.find('='));
    bool replaced = false;
    for (const std::string& x : extra) replaced |= x.substr(0, x.find('=')) == name;
    if (!replaced) out.push_back(s);
  }
  out.insert(out.end(), extra.begin(), extra.end());
  return out;
}

int spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env, int stdout_fd,
          const std::string& output_path, int keep_fd) {
  std::vector<std::string> envs = merged_env(env), args = argv;
  std::vector<char*> envp, argp;
  for (auto& s : envs) envp.push_back(s.data());
  envp.push_back(nullptr);
  for (auto& s : args) argp.push_back(s.data());
  argp.push_back(nullptr);
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
  if (stdout_fd >= 0) posix_spawn_file_actions_adddup2(&fa, stdout_fd, 1);
  else posix_spawn_file_actions_addopen(&fa, 1, output_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (output_path == "/dev/null") posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
  else posix_spawn_file_actions_addopen(&fa, 2, (output_path + ".err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (keep_fd >= 0) posix_spawn_file_actions_adddup2(&fa, keep_fd, keep_fd);  // clears close-on-exec
  pid_t pid = -1;
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attr, 0);
  int rc = posix_spawnp(&pid, argp[0], &fa, &attr, argp.data(), envp.data());
  posix_spawnattr_destroy(&attr);
  posix_spawn_file_actions_destroy(&fa);
  return rc == 0 ? pid : -1;
}

// Reads one line from fd, waiting up to timeout_ms in total.
std::string read_line(int fd, int timeout_ms) {
  std::string line;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (line.find('\n') == std::string::npos) {
    int left = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count());
    if (left <= 0) return {};
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, left) <= 0) return {};
    char buf[256];
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n <= 0) return {};
    line.append(buf, static_cast<size_t>(n));
  }
  return line.substr(0, line.find('\n'));
}

} // namespace

int start_with_env(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                   const std::string& output_path) {
  return spawn(argv, env, -1, output_path, -1);
}

int run_with_env(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
  int pid = spawn(argv, env, -1, "/dev/null", -1);
  if (pid < 0) return -1;
  int status = 0;
  if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

bool wait_for_file_text(const std::string& path, const std::string& needle, int timeout_ms) {
  for (int waited = 0; waited < timeout_ms; waited += 10) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    if (s.str().find(needle) != std::string::npos) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

void stop_process(int pid) {
  if (pid <= 0) return;
  ::kill(pid, SIGTERM);
  for (int i = 0; i < 500; ++i) {
    if (::waitpid(pid, nullptr, WNOHANG) == pid) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
}

virtual_display::virtual_display(int width, int height) {
  int p[2];
  if (::pipe2(p, O_CLOEXEC) != 0) return;
  std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
  pid_ = spawn({"Xvfb", "-displayfd", std::to_string(p[1]), "-screen", "0", screen, "-nolisten", "tcp", "-noreset"}, {},
               -1, "/dev/null", p[1]);
  ::close(p[1]);
  if (pid_ > 0) {
    std::string number = read_line(p[0], 30000);
    if (!number.empty()) name_ = ":" + number;
  }
  ::close(p[0]);
}

virtual_display::~virtual_display() { stop_process(pid_); }

bool virtual_display::xdotool(const std::vector<std::string>& args) const {
  std::vector<std::string> argv{"xdotool"};
  argv.insert(argv.end(), args.begin(), args.end());
  return run_with_env(argv, {"DISPLAY=" + name_}) == 0;
}

private_bus::private_bus(const std::string& folder) {
  make_dirs(folder);
  std::string config = folder + "/bus.conf";
  write_file(config,
             "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
             " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
             "<busconfig><type>session</type><listen>unix:dir=" +
                 folder +
                 "</listen><auth>EXTERNAL</auth>"
                 "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                 "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n");
  int p[2];
  if (::pipe2(p, O_CLOEXEC) != 0) return;
  pid_ = spawn({"dbus-daemon", "--config-file=" + config, "--nofork", "--print-address=" + std::to_string(p[1])}, {}, -1,
               "/dev/null", p[1]);
  ::close(p[1]);
  if (pid_ > 0) address_ = read_line(p[0], 30000);
  ::close(p[0]);
}

private_bus::~private_bus() { stop_process(pid_); }

} // namespace testsupport
