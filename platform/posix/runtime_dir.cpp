#include "platform/runtime_dir.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/private_dir.h"

namespace kit::platform {

std::string runtime_dir() { return runtime_dir_for(std::getenv("XDG_RUNTIME_DIR"), "/tmp"); }

std::string runtime_dir_for(const char* xdg, const std::string& fallback_parent) {
  if (xdg && *xdg) {
    // The session's folder belongs to the user already; make it only when it is missing.
    std::string dir = xdg;
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    ::mkdir(dir.c_str(), 0700);
    return dir;
  }
  // A shared folder: another user may have made this name first, to read what is handed
  // over or to hold the instance lock. Such a folder is not used at all.
  std::string dir = fallback_parent + "/mobrevist-" + std::to_string(getuid());
  if (ensure_private_dir(dir)) return dir;
  static std::atomic<bool> told{false};
  if (!told.exchange(true)) {
    std::fprintf(stderr, "mobrevist: %s is not a private folder of this user; running without the one-instance lock\n",
                 dir.c_str());
  }
  return {};
}

std::string kernel_object_path(const std::string& name, const char* suffix) {
  std::string dir = runtime_dir();
  if (dir.empty()) return {};
  std::string clean;
  for (unsigned char c : name) {
    bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                c == '-' || c == '_';
    clean += keep ? static_cast<char>(c) : '_';
  }
  return dir + "/" + clean + "." + suffix;
}

} // namespace kit::platform
