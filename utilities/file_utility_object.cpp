// kit.filesystem.file_utility: is_file, is_file_exist, get_filesize.

#include "host/owned_objects.h"
#include "platform/file.h"
#include "host/script_bridge.h"
#include "utilities/filesystem_objects.h"
#include "utilities/path_text.h"

namespace kit::utilities {
namespace {

struct file_utility {
  static constexpr const char* kClassName = "kit.filesystem.file_utility.class";
};

bool has_wildcard(const std::string& name) { return name.find_first_of("*?") != std::string::npos; }

// A search on the path: a name with wildcards matches entries of its folder; the first
// entry that is not a folder makes it a file.
bool is_file(const std::string& raw) {
  if (raw.empty()) {
    set_last_error(kInvalidPathError);
    return false;
  }
  std::string path = native_path(raw);
  std::string name = file_name(path);
  auto not_folder = [](const std::string& p) {
    auto info = platform::path_info(p);
    return info && info->kind != platform::file_kind::directory;
  };
  if (!has_wildcard(name)) return not_folder(path);
  std::string dir = path_dir(path);
  if (dir.empty()) dir = "./";
  auto entries = platform::list_directory(dir);
  if (!entries) return false;
  for (const std::string& entry : *entries) {
    if (wildcard_match(name, entry) && not_folder(dir + entry)) return true;
  }
  return false;
}

int IsFile(lua_State* L) {
  if (!kit::script::self<file_utility>(L, file_utility::kClassName)) return 0;
  lua_pushboolean(L, is_file(kit::script::to_string(L, 2)));
  return 1;
}

// The size as an exact script number (integers up to 2^53 are exact); -1 for a folder or
// a size that cannot be read.
int GetFileSize(lua_State* L) {
  if (!kit::script::self<file_utility>(L, file_utility::kClassName)) return 0;
  std::string path = native_path(kit::script::to_string(L, 2));
  if (path.empty()) set_last_error(kInvalidPathError);
  auto info = path.empty() ? std::nullopt : platform::path_info(path);
  bool ok = info && info->kind != platform::file_kind::directory;
  lua_pushnumber(L, ok ? static_cast<lua_Number>(info->size) : -1);
  return 1;
}

const UIS_Method kMethods[] = {
    {"is_file", IsFile, 0},
    {"is_file_exist", IsFile, 0},
    {"get_filesize", GetFileSize, 0},
    {nullptr, nullptr, 0},
};

void* getter(void*) { return kit::host::owned<file_utility>(); }

} // namespace

void RegisterFileUtility(UIS_Env* env) {
  register_fs_object(env, {"kit.filesystem.file_utility", file_utility::kClassName}, getter, kMethods);
}

} // namespace kit::utilities
