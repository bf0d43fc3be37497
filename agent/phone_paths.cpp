#include "agent/phone_paths.h"

#include <sys/stat.h>

#include <vector>

namespace kit::agent {

namespace {
// The normal form of an absolute path, or "" when it is not one or climbs with "..".
std::string normal(const std::string& path) {
  if (path.empty() || path[0] != '/' || path.find('\0') != std::string::npos) return {};
  std::string out;
  size_t i = 0;
  while (i < path.size()) {
    size_t j = path.find('/', i);
    if (j == std::string::npos) j = path.size();
    std::string part = path.substr(i, j - i);
    i = j + 1;
    if (part.empty() || part == ".") continue;
    if (part == "..") return {};
    out += "/" + part;
  }
  return out.empty() ? "/" : out;
}

bool under(const std::string& path, const std::string& folder) {
  return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 && path[folder.size()] == '/';
}
} // namespace

std::string phone_paths::local(const std::string& phone_path) const {
  std::string n = normal(phone_path);
  if (n.empty()) return {};
  return root_.empty() ? n : (n == "/" ? root_ : root_ + n);
}

std::string phone_paths::phone(const std::string& local_path) const {
  if (root_.empty()) return local_path;
  if (local_path.compare(0, root_.size(), root_) != 0) return local_path;
  std::string rest = local_path.substr(root_.size());
  return rest.empty() ? "/" : rest;
}

bool make_parent_folders(const std::string& path) {
  for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
    std::string dir = path.substr(0, slash);
    if (::mkdir(dir.c_str(), 0775) == 0) continue;
    struct stat st {};
    if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  }
  return true;
}

bool phone_paths::writable_area(const std::string& phone_path) {
  std::string n = normal(phone_path);
  for (const char* folder : {"/sdcard", "/storage/emulated/0", "/storage/self/primary", "/data/local/tmp"})
    if (under(n, folder)) return true;
  return false;
}

} // namespace kit::agent
