// The source of device-change notices on this platform. It watches the kernel's device
// events (subsystems usb and block) and the mount table on the UI loop and hands each
// notice to a function on the UI loop: an added device or a new mount as kDeviceArrival, a
// removed device or a mount gone as kDeviceRemoved (the device-change message's wParam).
//
// For tests, MOBREVIST_DEVICECHANGE_FIFO may name a FIFO; each line written to it posts
// one notice: "arrival" (0x8000), "removal" (0x8004), or a number (that wParam as is).
#pragma once
#include <cstdint>
#include <functional>
#include <memory>

namespace kit::platform {

constexpr uintptr_t kDeviceArrival = 0x8000;
constexpr uintptr_t kDeviceRemoved = 0x8004;

using device_notice_fn = std::function<void(uintptr_t wparam)>;

class device_change_monitor {
public:
  device_change_monitor();
  ~device_change_monitor();
  device_change_monitor(const device_change_monitor&) = delete;
  device_change_monitor& operator=(const device_change_monitor&) = delete;

  // Starts watching; notices go to notify. Sources that cannot be opened are left out.
  void start(device_notice_fn notify);
  void stop();

private:
  struct impl;
  std::unique_ptr<impl> impl_;
};

} // namespace kit::platform
