#include "platform/sysfs_source.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace kit::platform::sysfs {

namespace {
std::string env_or(const char* name, const char* fallback) {
  const char* v = std::getenv(name);
  return v && *v ? std::string(v) : std::string(fallback);
}

std::string trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return {};
  size_t e = s.find_last_not_of(" \t\r\n");
  return s.substr(b, e - b + 1);
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }
} // namespace

std::string root() {
  std::string r = env_or("MOBREVIST_SYSFS_ROOT", "/sys");
  while (r.size() > 1 && r.back() == '/') r.pop_back();
  return r;
}

std::string mountinfo_path() { return env_or("MOBREVIST_MOUNTINFO", "/proc/self/mountinfo"); }

std::string read_attribute(const std::string& path) {
  std::ifstream in(path);
  if (!in) return {};
  std::string line;
  std::getline(in, line);
  return trim(line);
}

bool exists(const std::string& path) {
  std::error_code ec;
  return fs::exists(path, ec);
}

std::string canonical(const std::string& path) {
  std::error_code ec;
  fs::path p = fs::canonical(path, ec);
  return ec ? std::string() : p.string();
}

std::vector<std::string> list_dir(const std::string& path) {
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec)) {
    names.push_back(it->path().filename().string());
  }
  return names;
}

bool natural_less(const std::string& a, const std::string& b) {
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (is_digit(a[i]) && is_digit(b[j])) {
      size_t i2 = i, j2 = j;
      while (i2 < a.size() && is_digit(a[i2])) ++i2;
      while (j2 < b.size() && is_digit(b[j2])) ++j2;
      std::string na = a.substr(i, i2 - i), nb = b.substr(j, j2 - j);
      na.erase(0, std::min(na.find_first_not_of('0'), na.size()));
      nb.erase(0, std::min(nb.find_first_not_of('0'), nb.size()));
      if (na.size() != nb.size()) return na.size() < nb.size();
      if (na != nb) return na < nb;
      i = i2;
      j = j2;
    } else {
      if (a[i] != b[j]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
      ++i;
      ++j;
    }
  }
  return a.size() - i < b.size() - j;
}

} // namespace kit::platform::sysfs
