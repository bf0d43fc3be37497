#include "platform/folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace kit::platform {

void folder::close() {
  if (handle_ >= 0) ::close(handle_);
  handle_ = -1;
}

bool folder::open_path(const std::string& path) {
  close();
  if (path.empty()) return false;
  std::string built = path[0] == '/' ? "/" : "";
  size_t at = 0;
  while (at < path.size()) {
    size_t end = path.find('/', at);
    if (end == std::string::npos) end = path.size();
    if (end > at) {
      built += path.substr(at, end - at);
      ::mkdir(built.c_str(), 0777);
      built += "/";
    }
    at = end + 1;
  }
  handle_ = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  return handle_ >= 0;
}

folder folder::child(const std::string& name) const {
  folder out;
  if (handle_ < 0) return out;
  if (::mkdirat(handle_, name.c_str(), 0777) != 0 && errno != EEXIST) return out;
  // O_NOFOLLOW with O_DIRECTORY: a link here (even to a folder) is refused.
  out.handle_ = ::openat(handle_, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  return out;
}

bool folder::create_file(const std::string& name, int permissions, file& out) const {
  if (handle_ < 0) return false;
  struct stat st {};
  if (::fstatat(handle_, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
    if (!S_ISREG(st.st_mode)) return false;
    // A new file rather than truncating the old one: the old name may be a hard link to a
    // file elsewhere.
    if (::unlinkat(handle_, name.c_str(), 0) != 0) return false;
  }
  int fd = ::openat(handle_, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  if (permissions >= 0 && ::fchmod(fd, static_cast<mode_t>(permissions)) != 0) {
    ::close(fd);
    ::unlinkat(handle_, name.c_str(), 0);
    return false;
  }
  out.adopt(fd);
  return true;
}

bool folder::remove(const std::string& name) const {
  return handle_ >= 0 && ::unlinkat(handle_, name.c_str(), 0) == 0;
}

} // namespace kit::platform
