// The source of device-change notices on this platform. It watches the kernel's device
// events (subsystems usb and block) and the mount table on the UI loop and hands each
// notice to the message window as WM_DEVICECHANGE: an added device or a new mount as
// DBT_DEVICEARRIVAL, a removed device or a mount gone as DBT_DEVICEREMOVECOMPLETE.
//
// For tests, MOBREVIST_DEVICECHANGE_FIFO may name a FIFO; each line written to it posts
// one notice: "arrival" (0x8000), "removal" (0x8004), or a number (that wParam as is).
#pragma once
#include <memory>

class CMessageWindow;

namespace kit::device {

class device_change_monitor {
public:
  device_change_monitor();
  ~device_change_monitor();
  device_change_monitor(const device_change_monitor&) = delete;
  device_change_monitor& operator=(const device_change_monitor&) = delete;

  // Starts watching; notices go to window. Sources that cannot be opened are left out.
  void start(CMessageWindow* window);
  void stop();

private:
  struct impl;
  std::unique_ptr<impl> impl_;
};

} // namespace kit::device
