#include "platform/runtime_dir.h"

#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace kit::platform {

std::string runtime_dir() {
  const char* xdg = std::getenv("XDG_RUNTIME_DIR");
  std::string dir;
  if (xdg && *xdg) {
    dir = xdg;
  } else {
    dir = "/tmp/mobrevist-" + std::to_string(getuid());
  }
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  ::mkdir(dir.c_str(), 0700);
  return dir;
}

std::string kernel_object_path(const std::string& name, const char* suffix) {
  std::string clean;
  for (unsigned char c : name) {
    bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                c == '-' || c == '_';
    clean += keep ? static_cast<char>(c) : '_';
  }
  return runtime_dir() + "/" + clean + "." + suffix;
}

} // namespace kit::platform
