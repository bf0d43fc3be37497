#include "platform/well_known_dirs.h"

#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

#include "platform/process_info.h"

namespace kit::platform {
namespace {

int first_object_base(dl_phdr_info* info, size_t, void* out) {
  *static_cast<uintptr_t*>(out) = info->dlpi_addr;
  return 1;  // the first object listed is the program itself
}

bool is_dir(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool make_dirs(const std::string& path) {
  for (size_t at = path.find('/', 1); at != std::string::npos; at = path.find('/', at + 1))
    ::mkdir(path.substr(0, at).c_str(), 0700);
  ::mkdir(path.c_str(), 0700);
  return is_dir(path);
}

std::string zezazo_under(const std::string& base) {
  if (base.empty() || base.front() != '/') return {};
  std::string dir = base;
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  dir += "/Zezazo";
  return make_dirs(dir) ? dir + "/" : std::string();
}

} // namespace

std::string current_module_path() {
  Dl_info info{};
  uintptr_t program_base = 0;
  dl_iterate_phdr(first_object_base, &program_base);
  if (::dladdr(reinterpret_cast<void*>(&current_module_path), &info) && info.dli_fname && *info.dli_fname &&
      reinterpret_cast<uintptr_t>(info.dli_fbase) != program_base) {
    char real[PATH_MAX];
    if (::realpath(info.dli_fname, real)) return real;
  }
  return executable_path();  // this code is part of the program itself
}

std::string user_appdata_dir() {
  const char* data = std::getenv("XDG_DATA_HOME");
  if (data && *data == '/') return zezazo_under(data);
  const char* home = std::getenv("HOME");
  return home && *home == '/' ? zezazo_under(std::string(home) + "/.local/share") : std::string();
}

std::string common_appdata_dir() {
  const char* dirs = std::getenv("XDG_DATA_DIRS");
  std::string list = dirs && *dirs ? dirs : "/usr/local/share:/usr/share";
  for (size_t at = 0; at <= list.size();) {
    size_t colon = list.find(':', at);
    if (colon == std::string::npos) colon = list.size();
    std::string dir = list.substr(at, colon - at);
    if (!dir.empty() && dir.front() == '/' && is_dir(dir) && ::access(dir.c_str(), W_OK) == 0) return zezazo_under(dir);
    at = colon + 1;
  }
  return {};
}

std::vector<std::string> program_files_dirs() { return {}; }

} // namespace kit::platform
