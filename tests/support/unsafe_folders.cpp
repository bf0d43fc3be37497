#include "support/unsafe_folders.h"

#include <cerrno>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace testsupport {

namespace {
constexpr uid_t kOtherUser = 4242;

void check(bool ok, const std::string& what) {
  if (!ok) throw std::runtime_error("could not make " + what);
}
} // namespace

std::vector<unsafe_folder> unsafe_folder_kinds() {
  std::vector<unsafe_folder> kinds = {unsafe_folder::symbolic_link, unsafe_folder::group_access,
                                      unsafe_folder::world_access};
  if (::geteuid() == 0) kinds.insert(kinds.begin(), unsafe_folder::other_owner);
  return kinds;
}

const char* describe(unsafe_folder kind) {
  switch (kind) {
  case unsafe_folder::other_owner: return "owned by another user";
  case unsafe_folder::symbolic_link: return "a symbolic link";
  case unsafe_folder::group_access: return "mode 0770";
  case unsafe_folder::world_access: return "mode 0755";
  }
  return "?";
}

void make_unsafe_folder(const std::string& path, unsafe_folder kind, const std::string& link_target) {
  if (kind == unsafe_folder::symbolic_link) {
    check(::mkdir(link_target.c_str(), 0700) == 0 || errno == EEXIST, link_target);
    check(::symlink(link_target.c_str(), path.c_str()) == 0, path);
    return;
  }
  check(::mkdir(path.c_str(), 0700) == 0, path);
  switch (kind) {
  case unsafe_folder::other_owner: check(::chown(path.c_str(), kOtherUser, kOtherUser) == 0, path); break;
  case unsafe_folder::group_access: check(::chmod(path.c_str(), 0770) == 0, path); break;
  case unsafe_folder::world_access: check(::chmod(path.c_str(), 0755) == 0, path); break;
  case unsafe_folder::symbolic_link: break;
  }
}

unsigned mode_of(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

unsigned owner_of(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 ? st.st_uid : ~0u;
}

} // namespace testsupport
