#include "archive/item_target.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kit::archive {

std::optional<std::vector<std::string>> item_components(const std::string& item_path) {
  if (item_path.empty() || item_path[0] == '/' || item_path[0] == '\\') return std::nullopt;
  std::vector<std::string> out;
  size_t at = 0;
  while (at <= item_path.size()) {
    size_t end = item_path.find_first_of("/\\", at);
    if (end == std::string::npos) end = item_path.size();
    std::string part = item_path.substr(at, end - at);
    at = end + 1;
    if (part.empty() || part == ".") continue;
    if (part == "..") return std::nullopt;
    if (part.find('\0') != std::string::npos) return std::nullopt;
    if (out.empty() && part.size() >= 2 && part[1] == ':' &&
        ((part[0] >= 'A' && part[0] <= 'Z') || (part[0] >= 'a' && part[0] <= 'z'))) {
      return std::nullopt;
    }
    out.push_back(std::move(part));
  }
  if (out.empty()) return std::nullopt;
  return out;
}

int item_file_mode(std::optional<unsigned> recorded_mode) {
  if (!recorded_mode) return -1;
  return static_cast<int>(*recorded_mode & 0777u);
}

destination_folder::destination_folder(const std::string& path) {
  if (path.empty()) return;
  // The destination itself is the caller's choice: its own chain may pass through links.
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
  fd_ = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

destination_folder::~destination_folder() {
  if (fd_ >= 0) ::close(fd_);
}

int destination_folder::open_folder(const std::vector<std::string>& components, size_t count) const {
  if (fd_ < 0) return -1;
  int current = ::dup(fd_);
  for (size_t i = 0; current >= 0 && i < count && i < components.size(); ++i) {
    const std::string& name = components[i];
    if (::mkdirat(current, name.c_str(), 0777) != 0 && errno != EEXIST) {
      ::close(current);
      return -1;
    }
    // O_NOFOLLOW with O_DIRECTORY: a link here (even to a folder) is refused.
    int next = ::openat(current, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    ::close(current);
    current = next;
  }
  return current;
}

int destination_folder::create_file(int folder_fd, const std::string& name, int mode) {
  struct stat st{};
  if (::fstatat(folder_fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
    if (!S_ISREG(st.st_mode)) return -1;
    // A new file rather than truncating the old one: the old name may be a hard link to
    // a file elsewhere.
    if (::unlinkat(folder_fd, name.c_str(), 0) != 0) return -1;
  }
  int fd = ::openat(folder_fd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) return -1;
  if (mode >= 0 && ::fchmod(fd, static_cast<mode_t>(mode)) != 0) {
    ::close(fd);
    ::unlinkat(folder_fd, name.c_str(), 0);
    return -1;
  }
  return fd;
}

} // namespace kit::archive
