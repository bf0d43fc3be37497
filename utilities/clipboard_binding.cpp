#include "utilities/clipboard_object.h"

#include "host/owned_objects.h"
#include "host/script_bridge.h"
#include "utilities/script_bindings.h"

template <>
struct kit::script::script_class<CLuaClipBoardData> {
  static constexpr const char* name = "ClipBoardData.Manager.Class";
};

namespace {

CLuaClipBoardData* self(lua_State* L) { return kit::script::self<CLuaClipBoardData>(L); }

int GetTxtData(lua_State* L) {
  CLuaClipBoardData* clipboard = self(L);
  if (!clipboard) return 0;
  std::string text = clipboard->GetText();
  lua_pushlstring(L, text.data(), text.size());
  return 1;
}

int SetTxtData(lua_State* L) {
  CLuaClipBoardData* clipboard = self(L);
  if (!clipboard) return 0;
  size_t n = 0;
  const char* text = luaL_checklstring(L, 2, &n);
  clipboard->SetText(std::string(text, n));
  return 0;
}

// GetHdropData() -> {type = 2 or 5, path, path, ...}
int GetHdropData(lua_State* L) {
  CLuaClipBoardData* clipboard = self(L);
  if (!clipboard) return 0;
  int effect = CLuaClipBoardData::kCopyEffect;
  std::vector<std::string> paths = clipboard->GetFiles(effect);
  lua_createtable(L, static_cast<int>(std::min<size_t>(paths.size(), 1 << 20)), 1);
  lua_pushinteger(L, effect);
  lua_setfield(L, -2, "type");
  for (size_t i = 0; i < paths.size(); ++i) {
    lua_pushlstring(L, paths[i].data(), paths[i].size());
    lua_rawseti(L, -2, static_cast<int>(i + 1));
  }
  return 1;
}

// SetHdropData({type = ..., path, path, ...}): the type is not used; strings from index 1
// up to the first value that is no string are the paths.
int SetHdropData(lua_State* L) {
  CLuaClipBoardData* clipboard = self(L);
  if (!clipboard) return 0;
  luaL_checktype(L, 2, LUA_TTABLE);
  std::vector<std::string> paths;
  for (int i = 1;; ++i) {
    lua_rawgeti(L, 2, i);
    if (lua_type(L, -1) != LUA_TSTRING) {
      lua_pop(L, 1);
      break;
    }
    size_t n = 0;
    const char* p = lua_tolstring(L, -1, &n);
    paths.emplace_back(p, n);
    lua_pop(L, 1);
  }
  clipboard->SetFiles(paths);
  return 0;
}

// GetFormats() -> the formats the clipboard holds, as a list of names.
int GetFormats(lua_State* L) {
  CLuaClipBoardData* clipboard = self(L);
  if (!clipboard) return 0;
  std::vector<std::string> formats = clipboard->GetFormats();
  lua_createtable(L, static_cast<int>(formats.size()), 0);
  for (size_t i = 0; i < formats.size(); ++i) {
    lua_pushlstring(L, formats[i].data(), formats[i].size());
    lua_rawseti(L, -2, static_cast<int>(i + 1));
  }
  return 1;
}

const UIS_Method kMethods[] = {{"GetTxtData", GetTxtData, 0},
                               {"GetFormats", GetFormats, 0},
                               {"SetTxtData", SetTxtData, 0},
                               {"GetHdropData", GetHdropData, 0},
                               {"SetHdropData", SetHdropData, 0},
                               {nullptr, nullptr, 0}};

void* GetClipboard(void*) { return kit::host::owned<CLuaClipBoardData>(); }

} // namespace

void kit::utilities::register_clipboard(UIS_Env* env) {
  UIS_RegisterGlobalObj(env, {GetClipboard, nullptr, "ClipBoardData.Manager", kit::script::script_class<CLuaClipBoardData>::name, kMethods, nullptr});
}
