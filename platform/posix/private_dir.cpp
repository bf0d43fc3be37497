#include "platform/private_dir.h"

#include "platform/process_info.h"
#include "platform/runtime_dir.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace kit::platform {

bool ensure_private_dir(const std::string& dir) {
  if (dir.empty()) return false;
  if (::mkdir(dir.c_str(), 0700) == 0) {
    // The umask may have taken bits away; the owner needs all three.
    ::chmod(dir.c_str(), 0700);
  } else if (errno != EEXIST) {
    return false;
  }
  // lstat: a symbolic link is refused even when it points at a folder of ours.
  struct stat st {};
  if (::lstat(dir.c_str(), &st) != 0) return false;
  return S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & 077) == 0;
}

std::string private_temp_dir(const std::string& name) {
  std::string tmp = temp_path();
  if (tmp.empty()) return {};
  std::string dir = tmp + name + "-" + std::to_string(::geteuid());
  if (ensure_private_dir(dir)) return dir + "/";
  std::string run = runtime_dir();
  if (run.empty()) return {};
  dir = run + "/" + name;
  return ensure_private_dir(dir) ? dir + "/" : std::string();
}

} // namespace kit::platform
