#include <cstdlib>

#include "platform/setupapi_devices.h"

namespace kit::platform::setupapi {

namespace {

std::vector<std::string> split(const std::string& text, const std::string& by) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t at; (at = text.find(by, start)) != std::string::npos; start = at + by.size())
    parts.push_back(text.substr(start, at - start));
  parts.push_back(text.substr(start));
  return parts;
}

bool to_number(const std::string& text, long& out) {
  if (text.empty()) return false;
  char* end = nullptr;
  out = std::strtol(text.c_str(), &end, 10);
  return *end == '\0';
}

} // namespace

recording parse_recording(const std::string& text) {
  recording r;
  for (std::string line : split(text, "\n")) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> f = split(line, " | ");
    long number = 0;
    if (f[0] == "usb" && f.size() >= 3) {
      usb_device d{f[1], f[2], {}};
      if (f.size() > 3 && !f[3].empty()) d.children = split(f[3], ", ");
      r.devices.push_back(std::move(d));
    } else if (f[0] == "disk" && f.size() >= 3 && to_number(f[2], number)) {
      r.disks.push_back({f[1], number});
    } else if (f[0] == "volume" && f.size() >= 3 && to_number(f[2], number)) {
      r.volumes.push_back({f[1], number});
    }
  }
  return r;
}

} // namespace kit::platform::setupapi
