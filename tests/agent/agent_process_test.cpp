// The agent as a program: its command line, detaching from the shell that started it,
// replacing an earlier start, and refusing peers that are not the shell user.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <cstring>
#include <thread>

#include "support/agent_client.h"
#include "agent/version.h"
#include "support/phone_agents.h"

using testsupport::bin_dir;
using testsupport::child_process;

namespace {

testsupport::run_result run_agent(const testsupport::temp_dir& dir, std::vector<std::string> args) {
  args.insert(args.begin(), bin_dir() + "/mobrevist-agent");
  child_process p(args, {}, dir.path(), dir / "run");
  return p.wait(30000);
}

bool alive(int pid) { return pid > 0 && ::kill(pid, 0) == 0; }

int pid_in(const std::string& text) {
  size_t at = text.find("pid ");
  return at == std::string::npos ? -1 : std::atoi(text.c_str() + at + 4);
}

// Connects to an abstract socket and asks for the SMS count; -1 when refused.
long count_over_abstract(const std::string& name) {
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un a{};
  a.sun_family = AF_UNIX;
  std::memcpy(a.sun_path + 1, name.data(), name.size());
  if (::connect(fd, reinterpret_cast<sockaddr*>(&a), static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size())) != 0) {
    ::close(fd);
    return -1;
  }
  const char request[6] = {38, 0, 0, 0, 0, 0};
  ssize_t sent = ::send(fd, request, sizeof request, MSG_NOSIGNAL);
  unsigned char reply[10];
  size_t got = 0;
  while (sent == 6 && got < sizeof reply) {
    ssize_t n = ::recv(fd, reply + got, sizeof reply - got, 0);
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  ::close(fd);
  return got == sizeof reply ? long(reply[6]) << 24 | long(reply[7]) << 16 | long(reply[8]) << 8 | reply[9] : -1;
}

} // namespace

TEST(AgentProgram, CommandLineErrorsExitTwo) {
  testsupport::temp_dir dir;
  for (std::vector<std::string> args : std::vector<std::vector<std::string>>{
           {"--bogus"}, {"--ports", "1,2,3,4"}, {"--tcp", "--ports", "1,2"}, {"--tcp", "--ports", "1,2,3,99999"},
           {"--peer-uids", "x"}, {"--root"}, {"--poll-seconds", "0"}, {"\x1b[31mred"}}) {
    auto r = run_agent(dir, args);
    EXPECT_EQ(r.exit_code, 2) << args[0];
    EXPECT_NE(r.err.find("usage: mobrevist-agent"), std::string::npos);
    EXPECT_EQ(r.err.find('\x1b'), std::string::npos) << "control characters echoed";
  }
  auto version = run_agent(dir, {"--version"});
  EXPECT_EQ(version.exit_code, 0);
  EXPECT_EQ(version.out, "mobrevist-agent " MOBREVIST_AGENT_VERSION "\n");
  auto status = run_agent(dir, {"--status", "--state-dir", dir.path()});
  EXPECT_EQ(status.exit_code, 3);
  EXPECT_EQ(status.out, "not running\n");
}

TEST(AgentProgram, DetachesSurvivesTheShellAndASecondStartReplacesIt) {
  testsupport::temp_dir dir;
  auto ports = testsupport::free_agent_ports();
  std::vector<std::string> start = {"--daemon", "--fixture", bin_dir() + "/agent-sim-data.txt", "--tcp", "--ports",
                                    ports.list(), "--state-dir", dir.path()};
  // Detached agents are not children of the test: ended here whatever happens.
  std::vector<int> started;
  struct reaper {
    std::vector<int>& pids;
    ~reaper() {
      for (int p : pids) ::kill(p, SIGKILL);
    }
  } reap{started};
  auto first = run_agent(dir, start);  // returns once the detached agent listens
  ASSERT_EQ(first.exit_code, 0) << first.err;
  EXPECT_NE(first.out.find("agent started (version " MOBREVIST_AGENT_VERSION), std::string::npos) << first.out;
  int pid = pid_in(first.out);
  started.push_back(pid);
  ASSERT_TRUE(alive(pid));
  // The shell's hang-up does not end it.
  ::kill(pid, SIGHUP);
  auto answer = conformance::ask(ports.request, 38, "", true);
  ASSERT_EQ(answer.size(), 1u);
  EXPECT_TRUE(alive(pid));
  auto status = run_agent(dir, {"--status", "--state-dir", dir.path()});
  EXPECT_EQ(status.exit_code, 0);
  EXPECT_EQ(status.out, "running " MOBREVIST_AGENT_VERSION " (pid " + std::to_string(pid) + ")\n");

  auto second = run_agent(dir, start);
  ASSERT_EQ(second.exit_code, 0) << second.err;
  int pid2 = pid_in(second.out);
  started.push_back(pid2);
  EXPECT_NE(pid2, pid);
  for (int i = 0; i < 300 && alive(pid); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_FALSE(alive(pid)) << "the first agent still runs";
  EXPECT_EQ(conformance::ask(ports.request, 38, "", true).size(), 1u);
}

TEST(AgentProgram, OnlyTheShellUserAndRootMayConnect) {
  testsupport::temp_dir dir;
  std::vector<std::string> serve = {bin_dir() + "/mobrevist-agent", "--fixture", bin_dir() + "/agent-sim-data.txt",
                                    "--state-dir", dir.path()};
  // Only uid 2000 allowed: this test's own uid is refused before a byte is read.
  auto args = serve;
  args.insert(args.end(), {"--peer-uids", std::to_string(::getuid() == 2000 ? 2001 : 2000)});
  {
    child_process strict(args, {}, dir.path(), dir / "strict");
    ASSERT_TRUE(strict.wait_for_output("mobrevist-agent ready", 30000)) << strict.err();
    EXPECT_EQ(count_over_abstract("mobrevist-12186"), -1);
  }
  args = serve;
  args.insert(args.end(), {"--peer-uids", std::to_string(::getuid())});
  child_process open(args, {}, dir.path(), dir / "open");
  ASSERT_TRUE(open.wait_for_output("mobrevist-agent ready", 30000)) << open.err();
  EXPECT_EQ(count_over_abstract("mobrevist-12186"), 320);
  if (::getuid() != 0) return;
  // Another user (an app, on a phone) is refused.
  pid_t child = ::fork();
  if (child == 0) {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(2);
    ::_exit(count_over_abstract("mobrevist-12186") == -1 ? 0 : 1);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a foreign uid was served";
}
