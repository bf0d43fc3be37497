#include "device/driver_manager_object.h"

#include <memory>

#include "common/singleton_ex.h"
#include "host/owned_objects.h"
#include "host/script_bridge.h"
#include "device/script_bindings.h"

template <>
struct kit::script::script_class<CLuaDriverManager> {
  static constexpr const char* name = "Driver.Manager.Class";
};

using kit::design_pattern::singleton_ex;

namespace {
CDriverManager* installer() { return singleton_ex<CDriverManager>::peek(); }

CLuaDriverManager* self(lua_State* L) { return kit::script::self<CLuaDriverManager>(L); }

int Init(lua_State* L) {
  if (!self(L)) return 0;
  CDriverManager* m = installer();
  lua_pushboolean(L, m ? m->Init() : 0);
  return 1;
}

int UnInit(lua_State* L) {
  if (!self(L)) return 0;
  // The functions of the tasks dropped here stay with this object until it goes.
  if (CDriverManager* m = installer()) m->UnInit();
  return 0;
}

int GetDriverURL(lua_State* L) {
  if (!self(L)) return 0;
  luaL_checkstring(L, 2);
  luaL_checkstring(L, 3);
  CDriverManager* m = installer();
  lua_pushstring(L, m && m->Bitness() == 1 ? "driver_001.zip" : "driver_002.zip");
  lua_pushstring(L, "android_winusb.inf");
  lua_pushinteger(L, 2);
  return 3;
}

int AddInstallDriver(lua_State* L) {
  CLuaDriverManager* o = self(L);
  if (!o) return 0;
  std::string archive = luaL_checkstring(L, 2);
  std::string file_name = luaL_checkstring(L, 3);
  auto mode = static_cast<int32_t>(static_cast<uint32_t>(luaL_checkinteger(L, 4)));
  std::string extra = luaL_optstring(L, 5, "");
  auto function = std::make_shared<kit::engine::function_ref>(kit::engine::function_ref::at(L, 6));
  CLuaDriverManager::completion done;
  if (*function) {
    done = [function](int32_t task_id, int32_t result) {
      kit::script::call_event(*function, [&](lua_State* S) {
        kit::script::push_int32(S, task_id);
        kit::script::push_int32(S, result);
        return 2;
      });
    };
  }
  kit::script::push_int32(L, o->Queue(archive, file_name, mode, extra, std::move(done)));
  return 1;
}

const UIS_Method kMethods[] = {
    {"Init", Init, 0},
    {"UnInit", UnInit, 0},
    {"GetDriverURL", GetDriverURL, 0},
    {"AddInstallDriver", AddInstallDriver, 0},
    {"CancleAllTask", kit::script::call_method<CLuaDriverManager, &CLuaDriverManager::CancelAll>, 0},
    {nullptr, nullptr, 0},
};

void* getter(void*) { return kit::host::owned<CLuaDriverManager>(); }
} // namespace

void kit::device::register_driver_manager(UIS_Env* env) {
  if (!env) return;
  UIS_RegisterGlobalObj(env, UIS_GlobalObjRecord{getter, nullptr, "Driver.Manager", kit::script::script_class<CLuaDriverManager>::name, kMethods, nullptr});
}
