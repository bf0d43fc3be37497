// kit.filesystem.dir_utility: folder tests, the working folder, making and removing folders.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>

#include "host/owned_objects.h"
#include "host/script_bridge.h"
#include "platform/file_tree.h"
#include "utilities/filesystem_objects.h"
#include "utilities/path_text.h"

namespace kit::utilities {
namespace {

struct dir_utility {
  static constexpr const char* kClassName = "kit.filesystem.dir_utility.class";
};

bool is_dir(const std::string& path) {
  struct stat st;
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool is_empty_directory(const std::string& path) {
  DIR* d = path.empty() ? nullptr : ::opendir(path.c_str());
  if (!d) return false;
  bool empty = true;
  while (dirent* e = ::readdir(d))
    if (e->d_name[0] != '.') {
      empty = false;
      break;
    }
  ::closedir(d);
  return empty;
}

// Creates the missing parents first when the folder cannot be made at once. Each step is
// shorter than the one before, so the recursion ends.
bool make_dir_tree(const std::string& path) {
  if (path.empty()) return false;
  if (is_dir(path)) return true;
  if (::mkdir(path.c_str(), 0777) == 0) return true;
  std::string parent = upper_dir(path);
  if (parent.empty() || parent.size() >= path.size()) return false;
  make_dir_tree(parent);
  return ::mkdir(path.c_str(), 0777) == 0;
}

// The path argument in file-system form; an empty one sets the invalid-input error.
std::string path_arg(lua_State* L) {
  std::string path = native_path(kit::script::to_string(L, 2));
  if (path.empty()) set_last_error(kInvalidPathError);
  return path;
}

template <bool (*Test)(const std::string&)>
int boolean_method(lua_State* L) {
  if (!kit::script::self<dir_utility>(L, dir_utility::kClassName)) return 0;
  lua_pushboolean(L, Test(path_arg(L)));
  return 1;
}

bool set_cwd(const std::string& p) { return !p.empty() && ::chdir(p.c_str()) == 0; }
bool delete_dir(const std::string& p) { return !p.empty() && ::rmdir(p.c_str()) == 0; }
bool make_dir(const std::string& p) { return !p.empty() && ::mkdir(p.c_str(), 0777) == 0; }
// Only a real folder is removed: a symbolic link given as the path is refused.
bool delete_dir_tree(const std::string& p) {
  struct stat st;
  return !p.empty() && ::lstat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && kit::platform::remove_tree(p);
}

int GetCurrentWorkingDirectory(lua_State* L) {
  if (!kit::script::self<dir_utility>(L, dir_utility::kClassName)) return 0;
  char buf[PATH_MAX];
  kit::script::push_string(L, ::getcwd(buf, sizeof buf) ? with_separator(buf) : std::string());
  return 1;
}

const UIS_Method kMethods[] = {
    {"is_dir", boolean_method<is_dir>, 0},
    {"is_empty_directory", boolean_method<is_empty_directory>, 0},
    {"get_current_working_directory", GetCurrentWorkingDirectory, 0},
    {"set_current_working_directory", boolean_method<set_cwd>, 0},
    {"delete_dir", boolean_method<delete_dir>, 0},
    {"delete_dir_tree", boolean_method<delete_dir_tree>, 0},
    {"make_dir", boolean_method<make_dir>, 0},
    {"make_dir_tree", boolean_method<make_dir_tree>, 0},
    {nullptr, nullptr, 0},
};

void* getter(void*) { return kit::host::owned<dir_utility>(); }

} // namespace

void RegisterDirUtility(UIS_Env* env) {
  register_fs_object(env, {"kit.filesystem.dir_utility", dir_utility::kClassName}, getter, kMethods);
}

} // namespace kit::utilities
