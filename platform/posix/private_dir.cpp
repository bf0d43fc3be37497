#include "platform/private_dir.h"

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

} // namespace kit::platform
