// kit.filesystem.disk_utility: capacity, free space, use and file-system type of the volume
// holding a path. Byte counts are script numbers, exact up to 2^53 bytes.
#include <cctype>

#include "host/owned_objects.h"
#include "host/script_bridge.h"
#include "platform/volume_info.h"
#include "utilities/filesystem_objects.h"
#include "utilities/path_text.h"

namespace kit::utilities {
namespace {

struct disk_utility {
  static constexpr const char* kClassName = "kit.filesystem.disk_utility.class";
};

std::optional<kit::platform::volume_figures> volume_arg(lua_State* L) {
  std::string path = native_path(kit::script::to_string(L, 2));
  if (path.empty()) {
    set_last_error(kInvalidPathError);
    return std::nullopt;
  }
  return kit::platform::volume_of(path);
}

template <lua_Number (*Figure)(const kit::platform::volume_figures&)>
int figure_method(lua_State* L) {
  if (!kit::script::self<disk_utility>(L, disk_utility::kClassName)) return 0;
  auto v = volume_arg(L);
  lua_pushnumber(L, v ? Figure(*v) : -1);
  return 1;
}

lua_Number capacity(const kit::platform::volume_figures& v) { return static_cast<lua_Number>(v.total); }
lua_Number free_space(const kit::platform::volume_figures& v) { return static_cast<lua_Number>(v.available); }
lua_Number utilization(const kit::platform::volume_figures& v) {
  if (v.total == 0) return -1;
  uint64_t used = v.total > v.available ? v.total - v.available : 0;
  return static_cast<lua_Number>(used) / static_cast<lua_Number>(v.total);
}

int GetDiskFormat(lua_State* L) {
  if (!kit::script::self<disk_utility>(L, disk_utility::kClassName)) return 0;
  std::string path = native_path(kit::script::to_string(L, 2));
  if (path.empty()) set_last_error(kInvalidPathError);
  std::string type = path.empty() ? std::string() : kit::platform::file_system_type(path);
  for (char& c : type) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  kit::script::push_string(L, type);
  return 1;
}

const UIS_Method kMethods[] = {
    {"get_partition_capacity", figure_method<capacity>, 0},
    {"get_free_partition_space", figure_method<free_space>, 0},
    {"get_partition_utilization_ratio", figure_method<utilization>, 0},
    {"get_disk_format", GetDiskFormat, 0},
    {nullptr, nullptr, 0},
};

void* getter(void*) { return kit::host::owned<disk_utility>(); }

} // namespace

void RegisterDiskUtility(UIS_Env* env) {
  register_fs_object(env, {"kit.filesystem.disk_utility", disk_utility::kClassName}, getter, kMethods);
}

} // namespace kit::utilities
