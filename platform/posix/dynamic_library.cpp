#include "platform/dynamic_library.h"

#include <dlfcn.h>
#include <limits.h>
#include <link.h>

namespace kit::platform {

std::unique_ptr<dynamic_library> dynamic_library::open(const std::string& path, lifetime keep) {
  int flags = RTLD_NOW | RTLD_LOCAL | (keep == lifetime::process ? RTLD_NODELETE : 0);
  void* handle = ::dlopen(path.c_str(), flags);
  if (!handle) return nullptr;
  return std::unique_ptr<dynamic_library>(new dynamic_library(handle, path));
}

dynamic_library::~dynamic_library() {
  if (handle_) ::dlclose(handle_);
}

void* dynamic_library::symbol(const char* name) const { return ::dlsym(handle_, name); }

std::string dynamic_library::folder() const {
  char origin[PATH_MAX + 1] = {};
  if (::dlinfo(handle_, RTLD_DI_ORIGIN, origin) == 0) return std::string(origin) + "/";
  auto slash = path_.find_last_of('/');
  return slash == std::string::npos ? std::string() : path_.substr(0, slash + 1);
}

} // namespace kit::platform
