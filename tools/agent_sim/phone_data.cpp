#include "phone_data.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace agent_sim {

namespace {
std::vector<std::string> split_tabs(const std::string& line) {
  std::vector<std::string> out;
  std::string field;
  std::stringstream in(line);
  while (std::getline(in, field, '\t')) out.push_back(field);
  if (!line.empty() && line.back() == '\t') out.emplace_back();
  return out;
}

uint64_t num(const std::string& s) { return std::strtoull(s.c_str(), nullptr, 10); }
} // namespace

bool phone_data::load(const std::string& path) {
  std::ifstream in(path);
  if (!in) {
    std::fprintf(stderr, "agent-sim: cannot read the data set %s\n", path.c_str());
    return false;
  }
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    auto f = split_tabs(line);
    const std::string& kind = f[0];
    auto need = [&](size_t n) {
      if (f.size() >= n) return true;
      std::fprintf(stderr, "agent-sim: %s:%d: %s needs %zu fields\n", path.c_str(), number, kind.c_str(), n - 1);
      return false;
    };
    if (kind == "sms" && need(8)) {
      messages.push_back({uint32_t(num(f[1])), uint32_t(num(f[2])), f[3], f[4], uint16_t(num(f[5])),
                          uint16_t(num(f[6])), f[7]});
    } else if (kind == "contact" && need(4)) {
      contacts.push_back({f[1], f[2], f[3]});
    } else if (kind == "music" && need(8)) {
      songs.push_back({uint32_t(num(f[1])), f[2], f[3], f[4], uint32_t(num(f[5])), num(f[6]), uint16_t(num(f[7]))});
    } else if (kind == "picture" && need(5)) {
      pictures.push_back({uint32_t(num(f[1])), f[2], uint32_t(num(f[3])), num(f[4])});
    } else if (kind == "video" && need(4)) {
      videos.push_back({uint32_t(num(f[1])), f[2], num(f[3])});
    } else if (kind == "app" && need(8)) {
      apps.push_back({uint32_t(num(f[1])), uint16_t(num(f[2])), f[3], f[4], f[5], f[6], num(f[7])});
    } else if (kind == "file" && need(6)) {
      files.push_back({f[1], f[2], uint16_t(num(f[3])), num(f[4]), uint16_t(num(f[5]))});
    } else if (kind == "device" && need(3)) {
      device[f[1]] = f[2];
    }
  }
  return true;
}

std::string phone_data::device_value(const std::string& key, const std::string& fallback) const {
  auto it = device.find(key);
  return it == device.end() ? fallback : it->second;
}

} // namespace agent_sim
