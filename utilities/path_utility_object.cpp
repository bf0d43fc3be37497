// kit.filesystem.path_utility (also kit.pathsystem.path_utility): path arithmetic and the
// program's well-known folders.
#include "host/app_paths.h"
#include "host/host_startup.h"
#include "host/owned_objects.h"
#include "host/script_bridge.h"
#include "platform/process_info.h"
#include "utilities/filesystem_objects.h"
#include "utilities/path_text.h"
#include "platform/well_known_dirs.h"

namespace kit::utilities {
namespace {

using platform::common_appdata_dir;
using platform::current_module_path;
using platform::user_appdata_dir;

// Both names share one native object; each name has its own class.
struct path_utility {};
constexpr const char* kClass = "kit.filesystem.path_utility.class";
constexpr const char* kSecondClass = "kit.pathsystem.path_utility.class";

bool is_path_utility(lua_State* L) {
  return kit::script::self<path_utility>(L, kClass) || kit::script::self<path_utility>(L, kSecondClass);
}

// A method computing text from the path argument. needs_separator: a path without one is
// invalid input for it.
template <std::string (*Compute)(std::string_view), bool needs_separator>
int text_method(lua_State* L) {
  if (!is_path_utility(L)) return 0;
  std::string path = kit::script::to_string(L, 2);
  if (path.empty() || (needs_separator && path.find_first_of("\\/") == std::string::npos))
    set_last_error(kInvalidPathError);
  kit::script::push_string(L, Compute(path));
  return 1;
}

template <std::string (*Folder)()>
int folder_method(lua_State* L) {
  if (!is_path_utility(L)) return 0;
  kit::script::push_string(L, Folder());
  return 1;
}

std::string exe_path() { return kit::platform::executable_path(); }
std::string exe_dir() { return path_dir(exe_path()); }
std::string module_dir() { return path_dir(current_module_path()); }
std::string tmpdata_dir() { return GetAppPaths()->GetTempDir(); }

const UIS_Method kMethods[] = {
    {"get_file_name", text_method<file_name, false>, 0},
    {"get_file_main_name", text_method<file_main_name, false>, 0},
    {"get_file_ext", text_method<file_ext, false>, 0},
    {"get_path_root", text_method<path_root, true>, 0},
    {"get_path_dir", text_method<path_dir, true>, 0},
    {"get_upper_dir", text_method<upper_dir, true>, 0},
    {"get_current_exe_path", folder_method<exe_path>, 0},
    {"get_current_exe_dir", folder_method<exe_dir>, 0},
    {"get_current_module_path", folder_method<current_module_path>, 0},
    {"get_current_module_dir", folder_method<module_dir>, 0},
    {"get_common_appdata_dir", folder_method<common_appdata_dir>, 0},
    {"get_appdata_dir", folder_method<user_appdata_dir>, 0},
    {"get_tmpdata_dir", folder_method<tmpdata_dir>, 0},
    {nullptr, nullptr, 0},
};

void* getter(void*) { return kit::host::owned<path_utility>(); }

} // namespace

void RegisterPathUtility(UIS_Env* env) {
  register_fs_object(env, {"kit.filesystem.path_utility", kClass}, getter, kMethods);
  register_fs_object(env, {"kit.pathsystem.path_utility", kSecondClass}, getter, kMethods);
}

} // namespace kit::utilities
