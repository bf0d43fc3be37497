#include "utilities/icon_manager_object.h"

#include "host/owned_objects.h"
#include "host/script_bridge.h"
#include "utilities/script_bindings.h"
#include "utilities/thumbnail_job.h"

template <>
struct kit::script::script_class<CLuaIconManager> {
  static constexpr const char* name = "IconManager.Manager.Class";
};


namespace {

// The class of the bitmaps the icons are handed over as.
constexpr const char* kBitmapClassName = "Zezazo.UIGraphic.Bitmap";
int GetIconByPath(lua_State* L) {
  auto* manager = kit::script::self<CLuaIconManager>(L);
  if (!manager) return 0;
  std::string path = luaL_checkstring(L, 2);
  bool large = lua_toboolean(L, 3) != 0;
  UIS_PushObject(L, kBitmapClassName, manager->GetIconByPath(path, large));
  return 1;
}

UIG_Bitmap* bitmap_of(lua_State* L) {
  return static_cast<UIG_Bitmap*>(UIS_ToObject(L, 1, kBitmapClassName));
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

// MakeThumbnail(image, out, size[, function]) -> true once queued: decodes the image file
// at size x size pixels at most on the thread pool and writes it to out as a JPEG; the
// function later receives 0, or 1 when the image could not be decoded or written.
int MakeThumbnail(lua_State* L) {
  if (!kit::script::self<CLuaIconManager>(L)) return 0;
  std::string image = kit::script::check_text(L, 2);
  std::string out = kit::script::check_text(L, 3);
  lua_Integer size = luaL_checkinteger(L, 4);
  if (size < 16 || size > 512) return luaL_argerror(L, 4, "a size from 16 to 512 pixels");
  lua_pushboolean(L, kit::utilities::queue_thumbnail(image, out, static_cast<int>(size),
                                                     LuaAsynFunctionCallback::Create(L, 5)));
  return 1;
}

const UIS_Method kMethods[] = {{"GetIconByPath", GetIconByPath, 0}, {"MakeThumbnail", MakeThumbnail, 0}, {nullptr, nullptr, 0}};
const UIS_Method kBitmapMethods[] = {
    {"__gc", BitmapGc, 0}, {"GetWidth", BitmapWidth, 0}, {"GetHeight", BitmapHeight, 0}, {nullptr, nullptr, 0}};

void* GetIconManager(void*) { return kit::host::owned<CLuaIconManager>(); }

} // namespace

void kit::utilities::register_icon_manager(UIS_Env* env) {
  UIS_RegisterClass(env, kBitmapClassName, kBitmapMethods, 0, 0);
  UIS_RegisterGlobalObj(env, {GetIconManager, nullptr, "IconManager.Manager", kit::script::script_class<CLuaIconManager>::name, kMethods, nullptr});
}
