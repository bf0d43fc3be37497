#include "device/lua_device_manager.h"


#include <cstdlib>
#include <ctime>

#include "device/device_manager.h"
#include "host/owned_objects.h"
#include "host/script_bridge.h"
#include "platform/calendar.h"
#include "platform/file.h"
#include "platform/user_dirs.h"
#include "platform/process_info.h"

using kit::device::DeviceProperty;

void DeviceInfo::Fill(const kit::device::DeviceChange& change) {
  DeviceProperty p;
  auto text = [&](int index, std::u16string& field) {
    if (change.GetProperty(index, &p) == S_OK && p.type == DeviceProperty::kind::string) field = p.text;
  };
  if (change.GetProperty(kit::device::kPropChangeType, &p) == S_OK && p.type == DeviceProperty::kind::int32) {
    changeType = p.number;
  }
  text(kit::device::kPropSerial, produceId);
  text(kit::device::kPropProductId, name);
  text(7, alias);  // not carried by a change report: stays empty
  text(kit::device::kPropVid, vid);
  text(kit::device::kPropPid, pid);
  text(kit::device::kPropLargeIcon, bigPng);
  text(kit::device::kPropBrand, brand);
  text(kit::device::kPropProduct, type);
  text(kit::device::kPropInstanceId, instanceId);
  if (change.GetProperty(kit::device::kPropDrives, &p) == S_OK && p.type == DeviceProperty::kind::string_array) {
    driverList = p.list;
  }
}

namespace {
CLuaDeviceManager* manager_self(lua_State* L) {
  return kit::script::self<CLuaDeviceManager>(L, CLuaDeviceManager::kClassName);
}
DeviceInfo* info_self(lua_State* L) { return kit::script::self<DeviceInfo>(L, CLuaDeviceManager::kInfoClassName); }

// Init(fn): true when the detector could not start (its database is missing).
int Init(lua_State* L) {
  CLuaDeviceManager* self = manager_self(L);
  if (!self) return 0;
  if (lua_type(L, 2) == LUA_TFUNCTION) self->SetCallback(L, 2);
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

void CLuaDeviceManager::Register(UIS_Env* env) {
  if (!env) return;
  UIS_RegisterGlobalObj(env, UIS_GlobalObjRecord{getter, nullptr, kGlobalName, kClassName, kManagerMethods, nullptr});
}

void CLuaDeviceManager::RegisterDeviceInfoClass(UIS_Env* env) {
  if (!env) return;
  UIS_RegisterClass(env, kInfoClassName, kInfoMethods, 0, 0);
}

void CLuaDeviceManager::SetCallback(lua_State* L, int idx) {
  callback_ = kit::script::function_ref::at(L, idx);
}

void CLuaDeviceManager::OnDeviceChanged(const kit::device::DeviceChange& change) {
  if (!callback_) return;  // no function: the report is dropped
  auto* info = new DeviceInfo;
  info->Fill(change);
  live_.insert(info);
  // From here the object belongs to the script: its collector deletes it.
  kit::script::call_event(callback_, [info](lua_State* L) {
    UIS_PushObject(L, kInfoClassName, info);
    return 1;
  });
}

CLuaDeviceManager::~CLuaDeviceManager() {
  // The detector keeps no way to reach this object once its notices have ended.
  if (CDeviceManager* manager = CDeviceManager::peek()) manager->Stop();
  for (DeviceInfo* info : live_) delete info;
}

bool CLuaDeviceManager::DeleteInfo(DeviceInfo* info) {
  if (live_.erase(info) == 0) return false;
  delete info;
  return true;
}

std::string CLuaDeviceManager::LogPath() {
  std::string base = kit::platform::user_state_dir();
  return base.empty() ? std::string() : base + "Mobrevist/log";
}

void CLuaDeviceManager::WriteLog(const std::string& bytes) {
  std::string path = LogPath();
  if (path.empty()) return;
  // Create the folders on the way (the state folder may not exist yet).
  kit::platform::make_directories(path.substr(0, path.find_last_of('/')), 0700);
  kit::platform::file log;
  if (!log.open(path, kit::platform::open_write | kit::platform::open_create | kit::platform::open_append)) return;
  std::tm local = kit::platform::local_time(std::time(nullptr));
  char clock[32];
  std::strftime(clock, sizeof clock, "%H:%M:%S     ", &local);
  // One write per line, so lines of several writers never interleave.
  std::string line = std::string(clock) + std::to_string(kit::platform::tick_count()) + "  " + bytes + "\n";
  log.write_all(line.data(), line.size());
}
