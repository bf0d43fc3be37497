#include "agent/agent_options.h"

#include <cstdlib>

namespace kit::agent {

const char* const kAgentUsage =
    "usage: mobrevist-agent [--daemon] [--root DIR] [--fixture FILE] [--state-dir DIR]\n"
    "                       [--tcp [--ports R,PULL,PUSH,N]] [--peer-uids LIST] [--poll-seconds N]\n"
    "                       [--command-timeout-ms N]\n"
    "       mobrevist-agent --status | --self-test | --version | --help\n"
    "\n"
    "Serves the PC program's requests from the phone it runs on. Started through the debug\n"
    "bridge as the shell user:  adb shell /data/local/tmp/mobrevist-agent --daemon\n"
    "\n"
    "  --daemon        detach (new session, output to mobrevist-agent.log) and replace an agent\n"
    "                  already running; prints 'agent started' once it listens\n"
    "  --status        prints 'running VERSION (pid N)' (exit 0) or 'not running' (exit 3)\n"
    "  --self-test     prints what works on this phone, with the reason for each 'no'\n"
    "  --tcp           listen on 127.0.0.1 TCP ports (default 12300,12301,12302,12303) instead\n"
    "                  of the abstract sockets mobrevist-12186, -12176, -12166 and -12156;\n"
    "                  for a PC only: any program of the machine may connect\n"
    "  --peer-uids     who may connect to the abstract sockets (default 0,2000: root, shell)\n"
    "  --root DIR      prefix every phone path with DIR (tests)\n"
    "  --fixture FILE  serve the data set FILE instead of the phone (tests, demo)\n"
    "PATH decides which content, cmd, dumpsys, getprop, am and stat are run.\n";

namespace {
bool number_list(const std::string& text, std::vector<uint32_t>& out, uint32_t max) {
  out.clear();
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(',', start);
    if (end == std::string::npos) end = text.size();
    std::string part = text.substr(start, end - start);
    if (part.empty() || part.size() > 10 || part.find_first_not_of("0123456789") != std::string::npos) return false;
    unsigned long long v = std::strtoull(part.c_str(), nullptr, 10);
    if (v > max) return false;
    out.push_back(static_cast<uint32_t>(v));
    start = end + 1;
  }
  return !out.empty();
}
} // namespace

bool parse_agent_options(int argc, char** argv, agent_options& o, std::string& error) {
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&](std::string& into) {
      if (i + 1 >= argc) {
        error = a + " needs a value";
        return false;
      }
      into = argv[++i];
      return true;
    };
    std::string v;
    if (a == "--daemon") o.what = agent_options::action::daemon;
    else if (a == "--status") o.what = agent_options::action::status;
    else if (a == "--self-test") o.what = agent_options::action::self_test;
    else if (a == "--version") o.what = agent_options::action::version;
    else if (a == "--help" || a == "-h") o.what = agent_options::action::help;
    else if (a == "--tcp") o.tcp = true;
    else if (a == "--root") {
      if (!value(o.root)) return false;
    } else if (a == "--fixture") {
      if (!value(o.fixture)) return false;
    } else if (a == "--state-dir") {
      if (!value(o.state_dir)) return false;
    } else if (a == "--ports") {
      std::vector<uint32_t> ports;
      if (!value(v)) return false;
      if (!number_list(v, ports, 65535) || ports.size() != 4) {
        error = "--ports needs four port numbers: request,pull,push,notifications";
        return false;
      }
      o.ports.assign(ports.begin(), ports.end());
    } else if (a == "--peer-uids") {
      if (!value(v)) return false;
      if (!number_list(v, o.peer_uids, 0xFFFFFFFEu)) {
        error = "--peer-uids needs a comma list of user ids";
        return false;
      }
    } else if (a == "--poll-seconds" || a == "--command-timeout-ms") {
      if (!value(v)) return false;
      std::vector<uint32_t> n;
      if (!number_list(v, n, 86400000) || n.size() != 1 || n[0] == 0) {
        error = a + " needs a positive number";
        return false;
      }
      (a == "--poll-seconds" ? o.poll_seconds : o.command_timeout_ms) = static_cast<int>(n[0]);
    } else {
      error = "unknown argument '" + a + "'";
      return false;
    }
  }
  if (!o.ports.empty() && !o.tcp) {
    error = "--ports is for --tcp";
    return false;
  }
  if (o.tcp && o.ports.empty()) o.ports = {12300, 12301, 12302, 12303};
  return true;
}

} // namespace kit::agent
