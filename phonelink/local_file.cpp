#include "phonelink/local_file.h"

namespace kit::phonelink {

namespace {
std::string normalised(const std::string& path) {
  std::string p = path;
  for (char& c : p)
    if (c == '\\') c = '/';
  return p;
}
} // namespace

bool create_local_file(const std::string& path, platform::file& out) {
  std::string p = normalised(path);
  if (p.empty() || p.back() == '/') return false;
  for (size_t slash = p.find('/', 1); slash != std::string::npos; slash = p.find('/', slash + 1)) {
    if (p[slash - 1] == '/') continue;
    platform::make_directory(p.substr(0, slash));  // an existing folder is fine; a failure shows below
  }
  return out.open(p, platform::open_write | platform::open_create | platform::open_truncate);
}

void remove_local_file(const std::string& path) { platform::remove_file(normalised(path)); }

} // namespace kit::phonelink
