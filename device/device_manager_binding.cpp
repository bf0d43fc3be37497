#include "device/lua_device_manager.h"

#include <memory>



#include "device/device_manager.h"
#include "host/owned_objects.h"
#include "host/script_bridge.h"
#include "device/script_bindings.h"

template <>
struct kit::script::script_class<DeviceInfo> {
  static constexpr const char* name = "DeviceInfo.Class";
};

template <>
struct kit::script::script_class<CLuaDeviceManager> {
  static constexpr const char* name = "Device.Manager.Class";
};


namespace {
CLuaDeviceManager* manager_self(lua_State* L) {
  return kit::script::self<CLuaDeviceManager>(L);
}
DeviceInfo* info_self(lua_State* L) { return kit::script::self<DeviceInfo>(L, kit::script::script_class<DeviceInfo>::name); }

// Init(fn): true when the detector could not start (its database is missing).
int Init(lua_State* L) {
  CLuaDeviceManager* self = manager_self(L);
  if (!self) return 0;
  if (lua_type(L, 2) == LUA_TFUNCTION) {
    auto function = std::make_shared<kit::engine::function_ref>(kit::engine::function_ref::at(L, 2));
    // From the call on, the object belongs to the script: its collector deletes it.
    self->SetCallback([function](DeviceInfo* info) {
      kit::script::call_event(*function, [info](lua_State* S) {
        UIS_PushObject(S, kit::script::script_class<DeviceInfo>::name, info);
        return 1;
      });
    });
  }
  CDeviceManager* manager = CDeviceManager::peek();
  HRESULT hr = manager ? manager->Start(self) : E_FAIL;
  lua_pushboolean(L, hr != S_OK);
  return 1;
}

int UnInit(lua_State*) {
  if (CDeviceManager* manager = CDeviceManager::peek()) manager->Stop();
  return 0;
}

int WriteLuaLog(lua_State* L) {
  size_t len = 0;
  const char* s = luaL_checklstring(L, 2, &len);
  CLuaDeviceManager::WriteLog(std::string(s, len));
  return 0;
}

int IsDebugger(lua_State* L) {
  lua_pushboolean(L, 1);
  return 1;
}

const UIS_Method kManagerMethods[] = {
    {"Init", Init, 0},
    {"UnInit", UnInit, 0},
    {"WriteLuaLog", WriteLuaLog, 0},
    {"IsDebugger", IsDebugger, 0},
    {nullptr, nullptr, 0},
};

void* getter(void*) { return kit::host::owned<CLuaDeviceManager>(); }

// DeviceInfo.Class

int Gc(lua_State* L) {
  if (!info_self(L)) return 0;
  auto** slot = static_cast<DeviceInfo**>(lua_touserdata(L, 1));
  // Once the manager is gone, so is every object it handed out.
  if (CLuaDeviceManager* manager = kit::host::find_owned<CLuaDeviceManager>()) manager->DeleteInfo(*slot);
  *slot = nullptr;  // a resurrected object must not reach freed memory
  return 0;
}

template <std::u16string DeviceInfo::*Field>
int GetText(lua_State* L) {
  DeviceInfo* info = info_self(L);
  if (!info) return 0;
  kit::script::push_utf16(L, info->*Field);
  return 1;
}

int GetDriverList(lua_State* L) {
  DeviceInfo* info = info_self(L);
  if (!info) return 0;
  lua_createtable(L, static_cast<int>(info->driverList.size()), 0);
  int i = 0;
  for (const auto& drive : info->driverList) {
    kit::script::push_utf16(L, drive);
    lua_rawseti(L, -2, ++i);
  }
  return 1;
}

int GetChangeType(lua_State* L) {
  DeviceInfo* info = info_self(L);
  if (!info) return 0;
  kit::script::push_int32(L, info->changeType);
  return 1;
}

const UIS_Method kInfoMethods[] = {
    {"__gc", Gc, 0},
    {"GetAlias", GetText<&DeviceInfo::alias>, 0},
    {"GetProduceId", GetText<&DeviceInfo::produceId>, 0},
    {"GetName", GetText<&DeviceInfo::name>, 0},
    {"GetBrand", GetText<&DeviceInfo::brand>, 0},
    {"GetType", GetText<&DeviceInfo::type>, 0},
    {"GetResolution", GetText<&DeviceInfo::resolution>, 0},
    {"GetDriverList", GetDriverList, 0},
    {"GetADBName", GetText<&DeviceInfo::adbName>, 0},
    {"GetVID", GetText<&DeviceInfo::vid>, 0},
    {"GetPID", GetText<&DeviceInfo::pid>, 0},
    {"GetSmallPng", GetText<&DeviceInfo::smallPng>, 0},
    {"GetBigPng", GetText<&DeviceInfo::bigPng>, 0},
    {"GetChangeType", GetChangeType, 0},
    {"GetInstanceId", GetText<&DeviceInfo::instanceId>, 0},
    {nullptr, nullptr, 0},
};
} // namespace

void kit::device::register_device_manager(UIS_Env* env) {
  if (!env) return;
  UIS_RegisterGlobalObj(env, UIS_GlobalObjRecord{getter, nullptr, "Device.Manager", kit::script::script_class<CLuaDeviceManager>::name, kManagerMethods, nullptr});
}

void kit::device::register_device_info_class(UIS_Env* env) {
  if (!env) return;
  UIS_RegisterClass(env, kit::script::script_class<DeviceInfo>::name, kInfoMethods, 0, 0);
}
