// The scripts' device notices: each device change becomes a new DeviceInfo handed to the
// change callback, which gives it to the script (which owns it from then on). Also the
// diagnostic log. The script face ("Device.Manager", "DeviceInfo.Class") is
// device_manager_binding.cpp.
#pragma once
#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "device/device_change.h"

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
  // Receives each new DeviceInfo, which then belongs to the receiver; empty: the report is
  // dropped.
  using change_callback = std::function<void(DeviceInfo* info)>;

  ~CLuaDeviceManager() override;

  // Replaces the change callback (the previous one is released).
  void SetCallback(change_callback callback);
  void OnDeviceChanged(const kit::device::DeviceChange& change) override;
  // The collector's deletion of an object handed to the script. False when the object is
  // not (or no longer) one of ours.
  bool DeleteInfo(DeviceInfo* info);

  // The diagnostic log: $XDG_STATE_HOME/Mobrevist/log (else ~/.local/state/...).
  static std::string LogPath();
  static void WriteLog(const std::string& bytes);

private:
  change_callback callback_;
  // Objects the script holds and has not collected yet; what is left when the host
  // releases this object is freed here.
  std::set<DeviceInfo*> live_;
};
