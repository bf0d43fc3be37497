// CDeviceManager: the device detector. It keeps the set of recognised devices, rescans
// USB devices and removable drives when started and on every device arrival or removal
// notice of the message window, and reports each difference between two scans to its
// callback. Everything runs on the UI thread.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "common/singleton_ex.h"
#include "device/device_change.h"
#include "device/device_database.h"
#include "host/lua_event.h"
#include "host/message_handler.h"

namespace kit::platform {
class device_change_monitor;
}

class CDeviceManager : public MessageHandler, public kit::design_pattern::singleton_ex<CDeviceManager> {
public:
  using DeviceMap = std::map<std::u16string, kit::device::DeviceRecord>;

  CDeviceManager();
  ~CDeviceManager() override;

  // Registers for device-change notices, loads the database from the program folder and
  // reports the devices already attached as arrived. 0 on success or when already started;
  // E_FAIL when the database cannot be loaded (then nothing stays registered, and a later
  // Start tries again).
  HRESULT Start(kit::device::DeviceManagerCallback* callback);
  // Ends the notices. The device maps, the callback and the started state stay.
  void Stop();
  // A registered window message (argument: MessageRecord*): device arrival or removal
  // rescans; every other notice is ignored.
  void HandleMessage(uintptr_t argument) override;

  const DeviceMap& CurrentDevices() const { return current_; }
  bool IsStarted() const { return started_ != 0; }

private:
  void Rescan();
  void ScanUsbDevices();
  void ScanRemovableDrives();
  void ReportChanges();

  uint32_t cookie_ = 0;
  kit::device::DeviceManagerCallback* callback_ = nullptr;
  kit::device::CDeviceDatabase database_;
  DeviceMap current_;
  DeviceMap previous_;
  int started_ = 0;
  std::unique_ptr<kit::platform::device_change_monitor> monitor_;
};
