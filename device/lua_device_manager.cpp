#include "device/lua_device_manager.h"

#include <ctime>

#include "device/device_manager.h"
#include "platform/calendar.h"
#include "platform/file.h"
#include "platform/process_info.h"
#include "platform/user_dirs.h"

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

void CLuaDeviceManager::SetCallback(change_callback callback) { callback_ = std::move(callback); }

void CLuaDeviceManager::OnDeviceChanged(const kit::device::DeviceChange& change) {
  if (!callback_) return;  // no function: the report is dropped
  auto* info = new DeviceInfo;
  info->Fill(change);
  live_.insert(info);
  // From here the object belongs to the receiver.
  callback_(info);
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
