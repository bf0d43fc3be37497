#include "platform/volume_info.h"

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace kit::platform {
namespace {

// The path itself when it exists, else its nearest existing parent.
std::string existing(std::string path) {
  struct stat st;
  while (!path.empty() && ::stat(path.c_str(), &st) != 0) {
    while (!path.empty() && path.back() == '/') path.pop_back();
    size_t slash = path.rfind('/');
    path = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  }
  return path;
}

} // namespace

std::optional<volume_figures> volume_of(const std::string& path) {
  std::string p = existing(path);
  struct statvfs v;
  if (p.empty() || ::statvfs(p.c_str(), &v) != 0) return std::nullopt;
  return volume_figures{static_cast<uint64_t>(v.f_blocks) * v.f_frsize, static_cast<uint64_t>(v.f_bavail) * v.f_frsize};
}

std::string file_system_type(const std::string& path) {
  std::string p = existing(path);
  struct stat st;
  if (p.empty() || ::stat(p.c_str(), &st) != 0) return {};
  const char* table = std::getenv("MOBREVIST_MOUNTINFO");
  std::ifstream in(table && *table ? table : "/proc/self/mountinfo");
  const std::string device = std::to_string(major(st.st_dev)) + ":" + std::to_string(minor(st.st_dev));
  std::string line, type;
  // id parent major:minor root mount-point options [optional...] - type source super-options
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string id, parent, dev, word;
    if (!(fields >> id >> parent >> dev) || dev != device) continue;
    while (fields >> word && word != "-") {
    }
    if (fields >> word) type = word;  // the last mount of the device is the one in use
  }
  return type;
}

} // namespace kit::platform
