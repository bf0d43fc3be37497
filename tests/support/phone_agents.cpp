#include "support/phone_agents.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <gtest/gtest.h>

namespace testsupport {

namespace {
std::string fake_tools_dir() { return std::string(MOBREVIST_TESTS_DIR) + "/support/fake_android"; }
std::string data_set() { return bin_dir() + "/agent-sim-data.txt"; }

std::string run_capture(const std::vector<std::string>& argv, const std::vector<std::pair<std::string, std::string>>& env,
                        const temp_dir& logs) {
  child_process p(argv, env, logs.path(), logs / "tool");
  auto r = p.wait(60000);
  EXPECT_EQ(r.exit_code, 0) << argv[0] << ": " << r.err;
  return r.out;
}

} // namespace

std::string which(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string list = path ? path : "/usr/bin:/bin";
  for (size_t start = 0; start <= list.size();) {
    size_t end = list.find(':', start);
    if (end == std::string::npos) end = list.size();
    std::string p = list.substr(start, end - start) + "/" + name;
    if (::access(p.c_str(), X_OK) == 0) return p;
    start = end + 1;
  }
  return {};
}

std::string agent_ports::list() const {
  return std::to_string(request) + "," + std::to_string(pull) + "," + std::to_string(push) + "," + std::to_string(notify);
}

agent_ports free_agent_ports() {
  // Held open together, so the four differ; another process could still take one before
  // the agent binds it, which the agent then reports and the test fails loudly.
  int fds[4];
  uint16_t ports[4];
  for (int i = 0; i < 4; ++i) {
    fds[i] = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fds[i], reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t n = sizeof a;
    ::getsockname(fds[i], reinterpret_cast<sockaddr*>(&a), &n);
    ports[i] = ntohs(a.sin_port);
  }
  for (int fd : fds) ::close(fd);
  return {ports[0], ports[1], ports[2], ports[3]};
}

fake_phone::fake_phone(const std::vector<std::string>& make_args) {
  std::vector<std::string> argv = {which("python3"), fake_tools_dir() + "/make_phone.py", data_set(), phone_dir(), root()};
  argv.insert(argv.end(), make_args.begin(), make_args.end());
  run_capture(argv, {}, dir_);
}

std::vector<std::pair<std::string, std::string>> fake_phone::env() const {
  const char* path = std::getenv("PATH");
  return {{"PATH", fake_tools_dir() + ":" + (path ? path : "/usr/bin:/bin")}, {"FAKE_ANDROID_DIR", phone_dir()}};
}

void fake_phone::set(const std::string& key, const std::string& json_value) const {
  run_capture({which("python3"), "-c",
               "import json,sys\n"
               "p=sys.argv[1]+'/phone.json'\n"
               "c=json.load(open(p,encoding='utf-8'))\n"
               "c[sys.argv[2]]=json.loads(sys.argv[3])\n"
               "json.dump(c,open(p,'w',encoding='utf-8'),ensure_ascii=False)\n",
               phone_dir(), key, json_value},
              {}, dir_);
}

std::string fake_phone::run_tool(const std::vector<std::string>& argv) const {
  std::vector<std::string> full = argv;
  full[0] = fake_tools_dir() + "/" + argv[0];
  return run_capture(full, env(), dir_);
}

const char* agent_kind_name(agent_kind kind) {
  switch (kind) {
    case agent_kind::sim: return "AgentSim";
    case agent_kind::agent_fixture: return "AgentOnFixture";
    case agent_kind::agent_phone: return "AgentOnFakePhone";
    case agent_kind::agent_arm64: return "Arm64AgentUnderQemu";
  }
  return "?";
}

std::string cross_agent(const std::string& abi) {
  std::string p = bin_dir() + "/agent/" + abi + "/mobrevist-agent";
  return ::access(p.c_str(), X_OK) == 0 ? p : std::string();
}

std::string agent_unavailable(agent_kind kind) {
  if (kind != agent_kind::agent_arm64) return {};
  if (cross_agent("arm64-v8a").empty()) return "the arm64 agent was not built (g++-aarch64-linux-gnu missing)";
  if (which("qemu-aarch64-static").empty()) return "qemu-aarch64-static is not installed";
  return {};
}

std::unique_ptr<child_process> start_agent(agent_kind kind, const agent_ports& ports, const temp_dir& logs,
                                           const fake_phone* phone, const std::vector<std::string>& extra) {
  std::vector<std::string> argv;
  std::vector<std::pair<std::string, std::string>> env;
  std::string ready = "mobrevist-agent ready";
  switch (kind) {
    case agent_kind::sim:
      argv = {bin_dir() + "/agent-sim", "--ports", ports.list()};
      env = {{"AGENT_SIM_STORAGE", logs / "sim-storage"}};
      ready = "agent-sim ready";
      break;
    case agent_kind::agent_fixture:
      argv = {bin_dir() + "/mobrevist-agent", "--fixture", data_set(), "--root", logs / "fixture-root"};
      make_dirs(logs / "fixture-root/sdcard");
      break;
    case agent_kind::agent_phone:
    case agent_kind::agent_arm64:
      argv = {bin_dir() + "/mobrevist-agent", "--root", phone->root()};
      if (kind == agent_kind::agent_arm64) argv = {which("qemu-aarch64-static"), cross_agent("arm64-v8a"), "--root", phone->root()};
      env = phone->env();
      break;
  }
  if (kind != agent_kind::sim) argv.insert(argv.end(), {"--tcp", "--ports", ports.list(), "--state-dir", logs.path()});
  argv.insert(argv.end(), extra.begin(), extra.end());
  auto agent = std::make_unique<child_process>(argv, env, logs.path(), logs / "agent");
  EXPECT_TRUE(agent->wait_for_output(ready, 60000)) << agent->err();
  return agent;
}

} // namespace testsupport
