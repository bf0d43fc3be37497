// bench_agent_lists: the phone-side agent on a fake Android phone, asked for the SMS list.
//   1. 320 SMS, each tool call taking 500 ms (a real phone's `content` starts a VM): the
//      time to the first frame and to the whole list.
//   2. 10,000 SMS with no delay: the whole list (target: under 2 s).
// The fake phone is built by tests/support/fake_android/make_phone.py into a temporary
// folder; the agent listens on loopback ports picked here.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/agent_client.h"

namespace {

using clock_type = std::chrono::steady_clock;

uint16_t free_port() {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t n = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n);
  ::close(fd);
  return ntohs(a.sin_port);
}

struct phone_run {
  double first_frame = -1, whole = -1;
  long records = 0;
};

phone_run measure(const std::string& dir, int sms, int delay_ms) {
  const std::string tools = std::string(MOBREVIST_TESTS_DIR) + "/support/fake_android";
  std::string make = "python3 '" + tools + "/make_phone.py' '" + MOBREVIST_BIN_DIR + "/agent-sim-data.txt' '" + dir +
                     "/phone' '" + dir + "/root'" + (sms >= 0 ? " --sms " + std::to_string(sms) : "");
  if (std::system(make.c_str()) != 0) return {};
  std::string set = "python3 -c \"import json;p='" + dir + "/phone/phone.json';c=json.load(open(p));c['delay_ms']=" +
                    std::to_string(delay_ms) + ";json.dump(c,open(p,'w'))\"";
  if (std::system(set.c_str()) != 0) return {};
  uint16_t ports[4];
  for (auto& p : ports) p = free_port();
  std::string port_list = std::to_string(ports[0]) + "," + std::to_string(ports[1]) + "," + std::to_string(ports[2]) +
                          "," + std::to_string(ports[3]);
  pid_t pid = ::fork();
  if (pid == 0) {
    ::setenv("PATH", (tools + ":" + std::getenv("PATH")).c_str(), 1);
    ::setenv("FAKE_ANDROID_DIR", (dir + "/phone").c_str(), 1);
    std::string agent = std::string(MOBREVIST_BIN_DIR) + "/mobrevist-agent";
    ::execl(agent.c_str(), agent.c_str(), "--tcp", "--ports", port_list.c_str(), "--root", (dir + "/root").c_str(),
            "--state-dir", dir.c_str(), "--command-timeout-ms", "600000", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  phone_run r;
  // Ready when the request port accepts.
  for (int i = 0; i < 500; ++i) {
    conformance::agent_connection probe(ports[0]);
    if (probe.connected()) break;
    ::usleep(20000);
  }
  conformance::agent_connection c(ports[0], 600000);
  auto start = clock_type::now();
  if (c.connected() && c.send_request(47)) {
    while (auto f = c.read_frame()) {
      double t = std::chrono::duration<double>(clock_type::now() - start).count();
      if (r.first_frame < 0) r.first_frame = t;
      if (f->payload.empty() || f->payload[0] == 2) {
        r.whole = t;
        break;
      }
      conformance::reader rd(f->payload);
      rd.u8();
      while (!rd.done() && rd.ok()) {
        rd.str(), rd.str(), rd.str(), rd.u16(), rd.u32(), rd.u32(), rd.u16();
        ++r.records;
      }
    }
  }
  ::kill(pid, SIGTERM);
  ::waitpid(pid, nullptr, 0);
  return r;
}

} // namespace

int main() {
  char tmpl[] = "/tmp/bench-agent-XXXXXX";
  if (!::mkdtemp(tmpl)) return 1;
  std::string dir = tmpl;
  phone_run slow = measure(dir + "/slow", -1, 500);
  std::printf("320 SMS, 500 ms per tool call: first frame after %.2f s, whole list (%ld) after %.2f s\n", slow.first_frame,
              slow.records, slow.whole);
  phone_run big = measure(dir + "/big", 10000, 0);
  std::printf("10,000 SMS, no delay: first frame after %.2f s, whole list (%ld) after %.2f s (target: under 2 s): %s\n",
              big.first_frame, big.records, big.whole, big.whole >= 0 && big.whole < 2.0 ? "met" : "MISSED");
  std::string cleanup = "rm -rf '" + dir + "'";
  int rc = std::system(cleanup.c_str());
  return (slow.whole < 0 || big.whole < 0 || rc != 0) ? 1 : 0;
}
