// mobrevist-agent: the phone-side agent. See agent_options.cpp for the command line.
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

#include "agent/agent_options.h"
#include "agent/agent_server.h"
#include "agent/android_source.h"
#include "agent/daemon.h"
#include "agent/fixture_source.h"
#include "agent/self_test.h"
#include "agent/version.h"

using namespace kit::agent;

namespace {
// Control characters from the command line are not echoed to the terminal.
std::string printable(std::string s) {
  for (char& c : s)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
  return s;
}

int serve(const agent_options& options, bool daemon) {
  std::string state_dir = options.state_dir.empty() ? program_folder() : options.state_dir;
  int report = -1;
  if (daemon) {
    report = detach(state_dir + "/mobrevist-agent.log");
    if (report < 0) {
      std::fprintf(stderr, "mobrevist-agent: cannot detach\n");
      return 1;
    }
  }
  std::unique_ptr<phone_source> source;
  phone_paths paths(options.root);
  if (!options.fixture.empty()) {
    auto fixture = std::make_unique<fixture_source>();
    if (!fixture->load(options.fixture)) {
      report_ready(report, "mobrevist-agent: cannot read the data set " + printable(options.fixture), 1);
      return 1;
    }
    source = std::move(fixture);
  } else {
    source = std::make_unique<android_source>(paths, command_limits{options.command_timeout_ms, 32u << 20});
  }
  // A second start replaces the first: the old agent is ended and its sockets taken over.
  stop_running(state_dir);
  agent_server server(options, *source, paths);
  std::string why;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!server.listen(why)) {
    if (std::chrono::steady_clock::now() > deadline) {
      report_ready(report, "mobrevist-agent: " + why, 1);
      if (!daemon) std::fprintf(stderr, "mobrevist-agent: %s\n", why.c_str());
      return 1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  write_pid_file(state_dir, MOBREVIST_AGENT_VERSION);
  exit_when_pid_file_changes(state_dir);
  if (daemon) {
    report_ready(report, "agent started (version " MOBREVIST_AGENT_VERSION ", pid " + std::to_string(::getpid()) + ")", 0);
  } else {
    std::printf("mobrevist-agent ready\n");
    std::fflush(stdout);
  }
  server.run();
  return 0;
}
} // namespace

int main(int argc, char** argv) {
  ::signal(SIGPIPE, SIG_IGN);
  agent_options options;
  std::string error;
  if (!parse_agent_options(argc, argv, options, error)) {
    std::fprintf(stderr, "mobrevist-agent: %s\n%s", printable(error).c_str(), kAgentUsage);
    return 2;
  }
  switch (options.what) {
    case agent_options::action::version: std::printf("mobrevist-agent %s\n", MOBREVIST_AGENT_VERSION); return 0;
    case agent_options::action::help: std::fputs(kAgentUsage, stdout); return 0;
    case agent_options::action::status: {
      auto running = find_running(options.state_dir.empty() ? program_folder() : options.state_dir);
      if (!running) {
        std::printf("not running\n");
        return 3;
      }
      std::printf("running %s (pid %d)\n", printable(running->version).c_str(), running->pid);
      return 0;
    }
    case agent_options::action::self_test: {
      android_source phone(phone_paths(options.root), command_limits{options.command_timeout_ms, 32u << 20});
      std::fputs(self_test_report(phone).c_str(), stdout);
      return 0;
    }
    case agent_options::action::daemon: return serve(options, true);
    case agent_options::action::serve: return serve(options, false);
  }
  return 0;
}
