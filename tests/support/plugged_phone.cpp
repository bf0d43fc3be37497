#include "support/plugged_phone.h"

#include <chrono>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#include <dbt.h>

#include <cctype>
#endif

#include "support/sysfs_fixture.h"

namespace testsupport {

namespace {
#ifdef _WIN32
constexpr char kRecording[] = "devices.txt";

std::string upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// The program's device-change window (a message-only window of its process).
HWND device_window_of(int pid) {
  for (HWND w = nullptr; (w = ::FindWindowExW(HWND_MESSAGE, w, L"MobrevistDeviceChangeWindow", nullptr));) {
    DWORD owner = 0;
    ::GetWindowThreadProcessId(w, &owner);
    if (static_cast<int>(owner) == pid) return w;
  }
  return nullptr;
}
#endif
} // namespace

plugged_phone::plugged_phone(script_install& app, const std::string& serial, when plugged, const std::string& vid,
                             const std::string& pid)
    : serial_(serial), vid_(vid), pid_(pid) {
#ifdef _WIN32
  app.set_env("MOBREVIST_SETUPAPI_RECORDING", dir_ / kRecording);
#else
  sysfs_ = std::make_unique<sysfs_fixture>();
  app.set_env("MOBREVIST_SYSFS_ROOT", sysfs_->sys_root());
  app.set_env("MOBREVIST_MOUNTINFO", sysfs_->mountinfo());
  if (plugged == when::later) fifo_ = app.use_device_change_fifo();
#endif
  if (plugged == when::before_the_start) lay_out();
}

plugged_phone::~plugged_phone() = default;

void plugged_phone::lay_out() {
#ifdef _WIN32
  // The root hub and the phone below it, with the instance ids Windows gives them.
  const std::string phone = "USB\\VID_" + upper(vid_) + "&PID_" + upper(pid_) + "\\" + serial_;
  write_file(dir_ / kRecording, "usb | USB\\ROOT_HUB30\\4&2F9A3B1&0&0 | USB Root Hub (USB 3.0) | " + phone +
                                    "\nusb | " + phone + " | USB Composite Device |\n");
#else
  sysfs_->add_device("1-1", vid_, pid_, serial_);
#endif
}

bool plugged_phone::plug_in(const child_process& host) {
  lay_out();
#ifdef _WIN32
  // The window exists once the program has started its device scan: looked for a while.
  // The notice is sent as the system sends it, with the arriving interface (a message
  // whose parameter points to data is never posted to another process).
  DEV_BROADCAST_DEVICEINTERFACE_W arrival{};
  arrival.dbcc_size = sizeof arrival;
  arrival.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  for (int i = 0; i < 1000; ++i) {
    if (HWND w = device_window_of(host.pid())) {
      DWORD_PTR result = 0;
      return ::SendMessageTimeoutW(w, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, reinterpret_cast<LPARAM>(&arrival),
                                   SMTO_ABORTIFHUNG, 10000, &result) != 0;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
#else
  (void)host;
  if (fifo_.empty()) return false;
  notify_device_change(fifo_, "arrival");
  return true;
#endif
}

} // namespace testsupport
