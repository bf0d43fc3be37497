#include "scenario.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <unistd.h>
#include <climits>

namespace adb_help {

namespace {
std::string trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return {};
  size_t e = s.find_last_not_of(" \t\r\n");
  return s.substr(b, e - b + 1);
}

// Splits off the first word; rest receives what follows it, trimmed.
std::string first_word(const std::string& s, std::string& rest) {
  size_t end = s.find_first_of(" \t");
  if (end == std::string::npos) {
    rest.clear();
    return s;
  }
  rest = trim(s.substr(end));
  return s.substr(0, end);
}

bool read_number(const std::string& s, long& out) {
  if (s.empty()) return false;
  char* end = nullptr;
  long v = std::strtol(s.c_str(), &end, 10);
  if (*end != '\0') return false;
  out = v;
  return true;
}

std::string program_folder() {
  char buf[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return "./";
  std::string path(buf, static_cast<size_t>(n));
  return path.substr(0, path.rfind('/') + 1);
}
} // namespace

std::string unescape(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    char c = text[++i];
    out += c == 'n' ? '\n' : c == 't' ? '\t' : c == 'r' ? '\r' : c;
  }
  return out;
}

command_rule scenario::rule_for(const std::string& command) const {
  command_rule r;
  auto any = rules.find("*");
  if (any != rules.end()) r = any->second;
  auto own = rules.find(command);
  if (own == rules.end()) return r;
  const command_rule& o = own->second;
  if (o.has_answer) {
    r.has_answer = true;
    r.answer = o.answer;
  }
  if (o.exit_code >= 0) r.exit_code = o.exit_code;
  if (o.delay_ms > 0) r.delay_ms = o.delay_ms;
  if (o.hang) r.hang = true;
  if (!o.gate.empty()) r.gate = o.gate;
  if (o.huge_bytes > 0) r.huge_bytes = o.huge_bytes;
  return r;
}

void scenario::read_line(const std::string& raw) {
  std::string line = trim(raw);
  if (line.empty() || line[0] == '#') return;
  std::string rest;
  std::string key = first_word(line, rest);
  if (key == "log") {
    log_path = rest;
    return;
  }
  if (key == "device") {
    std::string state;
    std::string serial = first_word(rest, state);
    if (serial.empty()) {
      errors.push_back(line);
      return;
    }
    devices.push_back({serial, state.empty() ? "device" : state});
    return;
  }
  if (key == "phone-root") {
    phone_root = rest;
    return;
  }
  if (key == "agent-args") {
    std::string tail = rest;
    while (!tail.empty()) {
      std::string after;
      agent_args.push_back(first_word(tail, after));
      tail = after;
    }
    return;
  }
  if (key == "prop") {
    std::string value;
    std::string name = first_word(rest, value);
    props[name] = value;
    return;
  }
  if (key == "nodevices") {
    devices.clear();
    return;
  }
  std::string value;
  std::string command = first_word(rest, value);
  if (command.empty()) {
    errors.push_back(line);
    return;
  }
  command_rule& r = rules[command];
  long number = 0;
  if (key == "answer") {
    r.has_answer = true;
    r.answer = unescape(value);
  } else if (key == "hang") {
    r.hang = true;
  } else if (key == "gate" && !value.empty()) {
    r.gate = value;
  } else if (key == "exit" && read_number(value, number)) {
    r.exit_code = static_cast<int>(number);
  } else if (key == "delay" && read_number(value, number)) {
    r.delay_ms = number;
  } else if (key == "huge" && read_number(value, number)) {
    r.huge_bytes = number;
  } else {
    errors.push_back(line);
  }
}

void scenario::read_text(const std::string& text, char separator) {
  std::string line;
  std::istringstream in(text);
  while (std::getline(in, line, separator)) {
    if (separator != '\n') {
      std::istringstream inner(line);
      std::string part;
      while (std::getline(inner, part)) read_line(part);
    } else {
      read_line(line);
    }
  }
}

scenario load_scenario() {
  scenario s;
  const char* file = std::getenv("ADB_HELP_SCENARIO");
  std::string path = (file && *file) ? file : program_folder() + "adb_help.scenario";
  std::ifstream in(path);
  if (in) {
    std::stringstream all;
    all << in.rdbuf();
    s.read_text(all.str());
  }
  if (const char* lines = std::getenv("ADB_HELP_LINES")) s.read_text(lines, ';');
  return s;
}

} // namespace adb_help
