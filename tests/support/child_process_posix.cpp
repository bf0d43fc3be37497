// Child processes of the script-level tests on POSIX: spawned in a process group of their
// own, output into files, standard input through a pipe; and the device-change FIFO.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "support/script_harness.h"

extern char** environ;

namespace fs = std::filesystem;

namespace testsupport {

child_process::child_process(const std::vector<std::string>& argv,
                             const std::vector<std::pair<std::string, std::string>>& env, const std::string& cwd,
                             const std::string& output_base)
    : out_path_(output_base + ".out"), err_path_(output_base + ".err") {
  std::vector<std::string> env_strings;
  for (char** e = environ; *e; ++e) {
    std::string s = *e;
    std::string name = s.substr(0, s.find('='));
    bool overridden = false;
    for (const auto& [k, v] : env) overridden |= (k == name);
    if (!overridden) env_strings.push_back(s);
  }
  for (const auto& [k, v] : env) env_strings.push_back(k + "=" + v);
  std::vector<char*> envp, args;
  for (auto& s : env_strings) envp.push_back(s.data());
  envp.push_back(nullptr);
  std::vector<std::string> argv_copy = argv;
  for (auto& s : argv_copy) args.push_back(s.data());
  args.push_back(nullptr);

  int in[2];
  if (::pipe2(in, O_CLOEXEC) != 0) return;
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, in[0], 0);
  posix_spawn_file_actions_addopen(&fa, 1, out_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&fa, 2, err_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::string old_cwd = fs::current_path().string();
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attr, 0);
  // posix_spawn has no portable chdir action here; switch around the call (tests are
  // single-threaded when they start children).
  if (!cwd.empty()) fs::current_path(cwd);
  pid_t pid = -1;
  int rc = posix_spawn(&pid, args[0], &fa, &attr, args.data(), envp.data());
  if (!cwd.empty()) fs::current_path(old_cwd);
  posix_spawn_file_actions_destroy(&fa);
  posix_spawnattr_destroy(&attr);
  ::close(in[0]);
  if (rc != 0) {
    ::close(in[1]);
    return;
  }
  pid_ = pid;
  stdin_fd_ = in[1];
}

child_process::~child_process() {
  if (pid_ > 0 && !reaped_) {
    kill_now();
    wait(5000);
  }
  close_stdin();
}

void child_process::write_stdin(const std::string& text) {
  if (stdin_fd_ < 0) return;
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::write(stdin_fd_, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

void child_process::close_stdin() {
  if (stdin_fd_ >= 0) ::close(stdin_fd_);
  stdin_fd_ = -1;
}

std::string child_process::out() const { return read_file(out_path_); }
std::string child_process::err() const { return read_file(err_path_); }

bool child_process::wait_for_output(const std::string& needle, int timeout_ms) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (std::chrono::steady_clock::now() < deadline) {
    if (out().find(needle) != std::string::npos) return true;
    if (!reaped_ && pid_ > 0 && ::waitpid(pid_, &status_, WNOHANG) == pid_) reaped_ = true;
    if (reaped_) return out().find(needle) != std::string::npos;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

void child_process::kill_now() {
  if (pid_ > 0 && !reaped_) ::kill(-pid_, SIGKILL);
}

run_result child_process::wait(int timeout_ms) {
  run_result r;
  if (pid_ <= 0) return r;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!reaped_) {
    int rc = ::waitpid(pid_, &status_, WNOHANG);
    if (rc == pid_) {
      reaped_ = true;
      break;
    }
    if (rc < 0 && errno != EINTR) break;
    if (std::chrono::steady_clock::now() >= deadline) {
      r.timed_out = true;
      ::kill(-pid_, SIGKILL);
      ::waitpid(pid_, &status_, 0);
      reaped_ = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (WIFEXITED(status_)) r.exit_code = WEXITSTATUS(status_);
  if (WIFSIGNALED(status_)) r.exit_code = 128 + WTERMSIG(status_);
  r.out = out();
  r.err = err();
  return r;
}

std::string script_install::use_device_change_fifo() {
  std::string fifo = root_ / "devicechange.fifo";
  EXPECT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  set_env("MOBREVIST_DEVICECHANGE_FIFO", fifo);
  return fifo;
}

void notify_device_change(const std::string& fifo, const std::string& line) {
  int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
  ASSERT_GE(fd, 0) << "nobody reads " << fifo;
  std::string text = line + "\n";
  EXPECT_EQ(::write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  ::close(fd);
}

} // namespace testsupport
