// kit.filesystem.dir_utility: folder tests, the working folder, making and removing folders.
#include "host/owned_objects.h"
#include "host/script_bridge.h"
#include "platform/file.h"
#include "platform/file_tree.h"
#include "utilities/filesystem_objects.h"
#include "utilities/path_text.h"

namespace kit::utilities {
namespace {

struct dir_utility {
  static constexpr const char* kClassName = "kit.filesystem.dir_utility.class";
};

bool is_dir(const std::string& path) { return !path.empty() && platform::is_directory(path); }

bool is_empty_directory(const std::string& path) {
  auto entries = path.empty() ? std::nullopt : platform::list_directory(path);
  if (!entries) return false;
  return entries->empty();  // a dot-file counts like any other entry
}

// Creates the missing parents first when the folder cannot be made at once. Each step is
// shorter than the one before, so the recursion ends.
bool make_dir_tree(const std::string& path) {
  if (path.empty()) return false;
  if (is_dir(path)) return true;
  if (platform::create_directory(path, 0777)) return true;
  std::string parent = upper_dir(path);
  if (parent.empty() || parent.size() >= path.size()) return false;
  make_dir_tree(parent);
  return platform::create_directory(path, 0777);
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

bool set_cwd(const std::string& p) { return !p.empty() && platform::set_current_directory(p); }
bool delete_dir(const std::string& p) { return !p.empty() && platform::remove_empty_directory(p); }
bool make_dir(const std::string& p) { return !p.empty() && platform::create_directory(p, 0777); }
// Only a real folder is removed: a symbolic link given as the path is refused.
bool delete_dir_tree(const std::string& p) {
  auto info = p.empty() ? std::nullopt : platform::path_info(p, false);
  return info && info->kind == platform::file_kind::directory && platform::remove_tree(p);
}

int GetCurrentWorkingDirectory(lua_State* L) {
  if (!kit::script::self<dir_utility>(L, dir_utility::kClassName)) return 0;
  std::string cwd = platform::current_directory();
  kit::script::push_string(L, cwd.empty() ? std::string() : with_separator(cwd));
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
