#include "device/driver_manager_object.h"

#include "common/singleton_ex.h"
#include "host/owned_objects.h"
#include "host/script_bridge.h"

using kit::design_pattern::singleton_ex;

namespace {
CDriverManager* installer() { return singleton_ex<CDriverManager>::peek(); }

CLuaDriverManager* self(lua_State* L) { return kit::script::self<CLuaDriverManager>(L, CLuaDriverManager::kClassName); }

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
  kit::script::push_int32(L, o->Queue(archive, file_name, mode, extra, L, 6));
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

void CLuaDriverManager::Register(UIS_Env* env) {
  if (!env) return;
  UIS_RegisterGlobalObj(env, UIS_GlobalObjRecord{getter, nullptr, kGlobalName, kClassName, kMethods, nullptr});
}

int32_t CLuaDriverManager::Queue(const std::string& archive, const std::string& file_name, int32_t mode,
                                 const std::string& extra, lua_State* L, int fn_index) {
  CDriverManager* m = installer();
  if (!m) return 0;
  // The completion arrives on this (the UI) thread later, so the entry is in place first.
  int32_t id = m->AddTask(archive, file_name, mode, extra, this);
  pending_[id] = kit::script::function_ref::at(L, fn_index);
  return id;
}

void CLuaDriverManager::CancelAll() {
  std::map<int32_t, kit::script::function_ref> dropped;
  dropped.swap(pending_);  // their functions are released with it
  if (CDriverManager* m = installer()) {
    for (const auto& [id, fn] : dropped) m->RemoveTask(id);
  }
}

CLuaDriverManager::~CLuaDriverManager() {
  // The installer outlives this object: no task may still name it, and no installer
  // started for the scripts may outlive the scripts.
  if (CDriverManager* m = installer()) m->UnInit();
  pending_.clear();
}

void CLuaDriverManager::OnInstallDone(int32_t task_id, int32_t result) {
  auto it = pending_.find(task_id);
  if (it == pending_.end()) return;  // cancelled
  // Out of the table before the call: the function may cancel or queue requests.
  kit::script::function_ref function = std::move(it->second);
  pending_.erase(it);
  if (function) {
    kit::script::call_event(function, [&](lua_State* L) {
      kit::script::push_int32(L, task_id);
      kit::script::push_int32(L, result);
      return 2;
    });
  }
}
