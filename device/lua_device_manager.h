// "Device.Manager" (class Device.Manager.Class): starts and stops the device detector for
// the scripts and hands each device change to the script function given to Init, as a new
// "DeviceInfo.Class" object that the script owns. Also two diagnostics: WriteLuaLog and
// IsDebugger.
#pragma once
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "device/device_change.h"
#include "engine/function_ref.h"
#include "engine/ui_engine.h"

// The native object behind a DeviceInfo.Class instance.
struct DeviceInfo {
  std::u16string alias, produceId, name, brand, type, resolution;
  std::vector<std::u16string> driverList;
  std::u16string adbName, vid, pid, smallPng, bigPng, instanceId;
  int32_t changeType = 0;

  // Filled from a change report; a property that cannot be read leaves its field as is.
  void Fill(const kit::device::DeviceChange& change);
};

class CLuaDeviceManager : public kit::device::DeviceManagerCallback {
public:
  static constexpr const char* kGlobalName = "Device.Manager";
  static constexpr const char* kClassName = "Device.Manager.Class";
  static constexpr const char* kInfoClassName = "DeviceInfo.Class";

  ~CLuaDeviceManager() override;

  static void Register(UIS_Env* env);
  // The DeviceInfo.Class class, registered after every global object.
  static void RegisterDeviceInfoClass(UIS_Env* env);

  // Stores the function at idx as the change callback (the previous one is released).
  void SetCallback(lua_State* L, int idx);
  void OnDeviceChanged(const kit::device::DeviceChange& change) override;
  // The collector's deletion of an object handed to the script. False when the object is
  // not (or no longer) one of ours.
  bool DeleteInfo(DeviceInfo* info);

  // The diagnostic log: $XDG_STATE_HOME/Mobrevist/log (else ~/.local/state/...).
  static std::string LogPath();
  static void WriteLog(const std::string& bytes);

private:
  kit::script::function_ref callback_;
  // Objects the script holds and has not collected yet; what is left when the host
  // releases this object is freed here.
  std::set<DeviceInfo*> live_;
};
