#include "platform/file_tree.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace kit::platform {
namespace {

constexpr int kMaxDepth = 4096;

// Empties the open folder fd (which it closes); true when nothing is left in it.
bool empty_folder(int fd, int depth) {
  struct stat st;
  if (::fstat(fd, &st) == 0 && !(st.st_mode & S_IWUSR)) ::fchmod(fd, st.st_mode | S_IWUSR | S_IXUSR);
  DIR* dir = ::fdopendir(fd);
  if (!dir) {
    ::close(fd);
    return false;
  }
  std::vector<std::string> names;
  while (dirent* e = ::readdir(dir)) {
    std::string name = e->d_name;
    if (name != "." && name != "..") names.push_back(std::move(name));
  }
  bool ok = true;
  for (const std::string& name : names) {
    struct stat entry;
    if (::fstatat(fd, name.c_str(), &entry, AT_SYMLINK_NOFOLLOW) != 0) continue;  // gone meanwhile
    if (S_ISDIR(entry.st_mode)) {
      int sub = depth < kMaxDepth ? ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC) : -1;
      if (sub < 0 || !empty_folder(sub, depth + 1) || ::unlinkat(fd, name.c_str(), AT_REMOVEDIR) != 0) ok = false;
    } else if (::unlinkat(fd, name.c_str(), 0) != 0) {
      ok = false;
    }
  }
  ::closedir(dir);
  return ok;
}

std::string without_trailing_slashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

} // namespace

bool remove_tree(const std::string& path) {
  if (path.empty()) return false;
  std::string p = without_trailing_slashes(path);
  int fd = ::open(p.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  empty_folder(fd, 0);
  ::rmdir(p.c_str());
  struct stat st;
  return !(::lstat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode));
}

bool remove_path(const std::string& path) {
  if (path.empty()) return false;
  std::string p = without_trailing_slashes(path);
  struct stat st;
  if (::lstat(p.c_str(), &st) != 0) return false;
  if (S_ISDIR(st.st_mode)) return remove_tree(p);
  return ::unlink(p.c_str()) == 0;
}

} // namespace kit::platform
