// adb_help: a stand-in for the debug-bridge client used by tests and the demo. It answers
// the command lines the host sends the way the real client does, and a scenario decides
// which devices exist and how each command behaves (see README.md, "adb_help scenarios").
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "phone_shell.h"
#include "scenario.h"

namespace {
using adb_help::scenario;

struct reply {
  std::string text;
  int exit_code = 0;
};

void write_all(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

void log_event(const scenario& s, const char* what, const std::string& words) {
  if (s.log_path.empty()) return;
  int fd = ::open(s.log_path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return;
  write_all(fd, std::string(what) + " " + std::to_string(::getpid()) + " " + words + "\n");
  ::close(fd);
}

// The command's name in scenario rules.
std::string command_name(const std::vector<std::string>& args) {
  if (args.empty()) return "";
  if (args[0] == "shell" && args.size() >= 3 && args[1] == "am") {
    if (args[2] == "start") return "start";
    if (args[2] == "broadcast") return "broadcast";
  }
  return args[0];
}

// Which device a command addresses; on failure the error text the real client prints.
bool pick_device(const scenario& s, const std::string& serial, reply& error) {
  error.exit_code = 1;
  if (serial.empty()) {
    int ready = 0;
    for (const auto& d : s.devices) ready += d.state == "device";
    if (ready == 1) return true;
    error.text = ready == 0 ? "error: no devices/emulators found\n" : "error: more than one device/emulator\n";
    return false;
  }
  for (const auto& d : s.devices) {
    if (d.serial != serial) continue;
    if (d.state == "device") return true;
    if (d.state == "unauthorized") {
      error.text = "error: device unauthorized.\nPlease check the confirmation dialog on your device.\n";
    } else {
      error.text = "error: device " + d.state + "\n";
    }
    return false;
  }
  error.text = "error: device '" + serial + "' not found\n";
  return false;
}

std::string option_after(const std::vector<std::string>& args, const std::string& flag) {
  for (size_t i = 0; i + 1 < args.size(); ++i)
    if (args[i] == flag) return args[i + 1];
  return "";
}

bool is_tcp_spec(const std::string& spec) {
  if (spec.rfind("tcp:", 0) != 0 || spec.size() == 4) return false;
  for (size_t i = 4; i < spec.size(); ++i)
    if (spec[i] < '0' || spec[i] > '9') return false;
  return true;
}

bool is_abstract_spec(const std::string& spec) { return spec.rfind("localabstract:", 0) == 0 && spec.size() > 14; }

// The normal answer of the real client to a command.
reply answer(const scenario& s, const std::string& serial, const std::vector<std::string>& args) {
  reply r;
  const std::string name = command_name(args);
  if (name == "devices") {
    r.text = "List of devices attached\n";
    for (const auto& d : s.devices) r.text += d.serial + "\t" + d.state + "\n";
    r.text += "\n";
    return r;
  }
  if (name == "start-server" || name == "kill-server") return r;
  if (name == "version") {
    r.text = "adb_help stand-in debug-bridge client\n";
    return r;
  }
  bool known = name == "install" || name == "uninstall" || name == "start" || name == "broadcast" ||
               name == "shell" || name == "forward" || name == "push";
  if (!known) {
    r.text = "adb: unknown command " + name + "\n";
    r.exit_code = 1;
    return r;
  }
  if (!pick_device(s, serial, r)) return r;
  r.exit_code = 0;
  if (name == "install") {
    std::string path = args.empty() ? "" : args.back();
    struct stat st {};
    if (args.size() < 2 || ::stat(path.c_str(), &st) != 0) {
      r.text = "can't find '" + path + "' to install\n";
      r.exit_code = 1;
      return r;
    }
    r.text = "Performing Streamed Install\nSuccess\n";
  } else if (name == "uninstall") {
    r.text = "Success\n";
  } else if (name == "start") {
    std::string component = option_after(args, "-n");
    if (component.find('/') == std::string::npos) {
      r.text = "Error: Bad component name: " + component + "\n";
      r.exit_code = 1;
      return r;
    }
    r.text = "Starting: Intent { act=" + option_after(args, "-a") + " cmp=" + component + " }\n";
  } else if (name == "broadcast") {
    r.text = "Broadcasting: Intent { act=" + option_after(args, "-a") +
             " flg=0x400000 }\nBroadcast completed: result=0\n";
  } else if (name == "push") {
    auto result = adb_help::push_file(s, args);
    r.text = result.text;
    r.exit_code = result.exit_code;
  } else if (name == "shell") {
    auto result = adb_help::run_shell(s, args);
    r.text = result.text;
    r.exit_code = result.exit_code;
  } else if (name == "forward") {
    if (args.size() != 3 || !is_tcp_spec(args[1]) || !(is_tcp_spec(args[2]) || is_abstract_spec(args[2]))) {
      r.text = "error: cannot parse forward address\n";
      r.exit_code = 1;
    }
  }
  return r;
}

void sleep_ms(long ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

void print_filler(long bytes) {
  std::string line(63, 'x');
  line += '\n';
  std::string block;
  while (block.size() < 65536) block += line;
  while (bytes > 0) {
    size_t n = bytes < static_cast<long>(block.size()) ? static_cast<size_t>(bytes) : block.size();
    write_all(1, block.substr(0, n));
    bytes -= static_cast<long>(n);
  }
}
} // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string serial;
  // Global options come before the command; only -s SERIAL changes anything here.
  while (!args.empty() && args[0].size() > 1 && args[0][0] == '-') {
    if (args[0] == "-s" && args.size() >= 2) {
      serial = args[1];
      args.erase(args.begin(), args.begin() + 2);
    } else {
      args.erase(args.begin());
    }
  }
  scenario s = adb_help::load_scenario();
  for (const auto& bad : s.errors) std::fprintf(stderr, "adb_help: scenario line not understood: %s\n", bad.c_str());

  std::string words;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) words.push_back(' ');
    words.append(argv[i]);
  }
  log_event(s, "begin", words);

  const std::string name = command_name(args);
  adb_help::command_rule rule = s.rule_for(name);
  if (!rule.gate.empty()) {
    struct stat st {};
    while (::stat(rule.gate.c_str(), &st) != 0) sleep_ms(10);
  }
  if (rule.delay_ms > 0) sleep_ms(rule.delay_ms);
  if (rule.hang) {
    for (;;) ::pause();  // until killed
  }
  if (name.empty()) {
    write_all(2, "adb: no command given\n");
    log_event(s, "end", words);
    return 1;
  }
  print_filler(rule.huge_bytes);
  reply r = answer(s, serial, args);
  if (rule.has_answer) r.text = rule.answer;
  if (rule.exit_code >= 0) r.exit_code = rule.exit_code;
  write_all(r.exit_code == 0 ? 1 : 2, r.text);
  log_event(s, "end", words);
  return r.exit_code;
}
