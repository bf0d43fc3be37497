#include "utilities/icon_manager_object.h"

#include "common/singleton_ex.h"
#include "common/text_convert.h"
#include "host/owned_objects.h"
#include "host/script_bridge.h"
#include "utilities/icon_imager.h"

using kit::design_pattern::singleton_ex;

namespace {

std::u16string lower(std::u16string s) {
  for (char16_t& c : s) c = kit::text::to_lower(c);
  return s;
}

// The extension as the shell finds it: from the last dot of the last part of the path,
// unless a blank follows that dot.
std::u16string extension_of(const std::u16string& path) {
  size_t start = path.find_last_of(u"/\\");
  start = start == std::u16string::npos ? 0 : start + 1;
  size_t dot = path.rfind(u'.');
  if (dot == std::u16string::npos || dot < start) return u"";
  std::u16string ext = path.substr(dot);
  if (ext.find(u' ') != std::u16string::npos) return u"";
  return ext;
}

bool is_program(const std::u16string& path) { return lower(extension_of(path)) == u".exe"; }

// GetIconByPath(path, large) -> bitmap (an empty one when no icon could be made).
int GetIconByPath(lua_State* L) {
  auto* manager = kit::script::self<CLuaIconManager>(L, CLuaIconManager::kClassName);
  if (!manager) return 0;
  std::string path = luaL_checkstring(L, 2);
  bool large = lua_toboolean(L, 3) != 0;
  UIS_PushObject(L, CLuaIconManager::kBitmapClassName, manager->GetIconByPath(path, large));
  return 1;
}

UIG_Bitmap* bitmap_of(lua_State* L) {
  return static_cast<UIG_Bitmap*>(UIS_ToObject(L, 1, CLuaIconManager::kBitmapClassName));
}

// A bitmap object gives its reference back when the script lets it go.
int BitmapGc(lua_State* L) {
  if (UIG_Bitmap* bitmap = bitmap_of(L)) {
    UIG_ReleaseBitmap(bitmap);
    *static_cast<void**>(lua_touserdata(L, 1)) = nullptr;
  }
  return 0;
}
int BitmapWidth(lua_State* L) {
  lua_pushinteger(L, UIG_GetBitmapWidth(bitmap_of(L)));
  return 1;
}
int BitmapHeight(lua_State* L) {
  lua_pushinteger(L, UIG_GetBitmapHeight(bitmap_of(L)));
  return 1;
}

const UIS_Method kMethods[] = {{"GetIconByPath", GetIconByPath, 0}, {nullptr, nullptr, 0}};
const UIS_Method kBitmapMethods[] = {
    {"__gc", BitmapGc, 0}, {"GetWidth", BitmapWidth, 0}, {"GetHeight", BitmapHeight, 0}, {nullptr, nullptr, 0}};

void* GetIconManager(void*) { return kit::host::owned<CLuaIconManager>(); }

} // namespace

void CLuaIconManager::Register(UIS_Env* env) {
  UIS_RegisterClass(env, kBitmapClassName, kBitmapMethods, 0, 0);
  UIS_RegisterGlobalObj(env, {GetIconManager, nullptr, kGlobalName, kClassName, kMethods, nullptr});
}

std::u16string CLuaIconManager::CacheKey(const std::string& path, bool large) {
  std::u16string wide = kit::text::utf8_to_utf16(path);
  std::u16string key = lower(is_program(wide) ? wide : extension_of(wide));
  return key + (large ? u"_L" : u"_S");
}

CLuaIconManager::CLuaIconManager() : imager_(singleton_ex<CIconImagerCreator>::acquire()) {}

CLuaIconManager::~CLuaIconManager() {
  for (auto& [key, bitmap] : cache_) UIG_ReleaseBitmap(bitmap);
  singleton_ex<CIconImagerCreator>::release();
}

UIG_Bitmap* CLuaIconManager::GetIconByPath(const std::string& path, bool large) {
  std::u16string key = CacheKey(path, large);
  auto it = cache_.find(key);
  if (it == cache_.end()) {
    bool program = is_program(kit::text::utf8_to_utf16(path));
    it = cache_.emplace(key, imager_->Render(path, program, large)).first;
  }
  if (it->second) UIG_AddRefBitmap(it->second);
  return it->second;
}
