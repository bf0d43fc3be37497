// The package loader: a package is a folder found by name in the search paths; its entry
// script is onload.lua.
#include <algorithm>
#include <cctype>
#include <string>

#include "common/text_convert.h"
#include "engine/engine_state.h"
#include "platform/file.h"

namespace {
bool same_name_ignoring_case(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

std::string find_package(const std::string& name) {
  for (const auto& root : kit::engine::get().search_paths) {
    auto entries = kit::platform::list_directory(root);
    if (!entries) continue;
    for (const std::string& entry : *entries) {
      if (same_name_ignoring_case(entry, name) && kit::platform::is_directory(root + "/" + entry)) {
        return root + "/" + entry;
      }
    }
  }
  return {};
}
} // namespace

int UIL_InitLoader(int) {
  kit::engine::get();
  return 0;
}

int UIL_AddPackageSearchPath(const char16_t* folder) {
  if (!folder) return -1;
  std::string path = kit::text::utf16_to_utf8(folder);
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  kit::engine::get().search_paths.push_back(path);
  return 0;
}

int UIL_LoadPackage(const char* name) {
  if (!name) return -1;
  std::string dir = find_package(name);
  if (dir.empty()) return -1;
  lua_State* L = kit::engine::get().L;
  // Modules of the package are found by require() in its folder and its luacode folder.
  lua_getglobal(L, "package");
  if (lua_istable(L, -1)) {
    lua_getfield(L, -1, "path");
    std::string path = dir + "/?.lua;" + dir + "/luacode/?.lua;" + (lua_tostring(L, -1) ? lua_tostring(L, -1) : "");
    lua_pop(L, 1);
    lua_pushstring(L, path.c_str());
    lua_setfield(L, -2, "path");
  }
  lua_pop(L, 1);
  std::string entry = dir + "/onload.lua";
  std::string label = std::string(name) + "/onload.lua";
  if (luaL_loadfile(L, entry.c_str()) != 0) {
    std::fprintf(stderr, "%s: %s\n", label.c_str(), lua_tostring(L, -1));
    std::fflush(stderr);
    lua_pop(L, 1);
    return -1;
  }
  return UIS_LuaCall(L, 0, 0, label.c_str()) == 0 ? 0 : -1;
}
