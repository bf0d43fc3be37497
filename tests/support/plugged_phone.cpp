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
  fifo_ = app.use_device_change_fifo();
#endif
  if (plugged == when::before_the_start) lay_out(true);
}

plugged_phone::~plugged_phone() = default;

void plugged_phone::lay_out(bool plugged) {
#ifdef _WIN32
  // The root hub, and the phone below it, with the instance ids Windows gives them.
  const std::string hub = "usb | USB\\ROOT_HUB30\\4&2F9A3B1&0&0 | USB Root Hub (USB 3.0) |";
  const std::string phone = "USB\\VID_" + upper(vid_) + "&PID_" + upper(pid_) + "\\" + serial_;
  write_file(dir_ / kRecording, plugged ? hub + " " + phone + "\nusb | " + phone + " | USB Composite Device |\n" : hub + "\n");
#else
  if (plugged) sysfs_->add_device("1-1", vid_, pid_, serial_);
  else sysfs_->remove_device("1-1");
#endif
}

bool plugged_phone::plug_in(const child_process& host) {
  lay_out(true);
  return tell(host, true);
}

bool plugged_phone::unplug(const child_process& host) {
  lay_out(false);
  return tell(host, false);
}

bool plugged_phone::tell(const child_process& host, bool arrival) {
#ifdef _WIN32
  // The window exists once the program has started its device scan: looked for a while.
  // The notice is sent as the system sends it, with the interface (a message whose
  // parameter points to data is never posted to another process).
  DEV_BROADCAST_DEVICEINTERFACE_W change{};
  change.dbcc_size = sizeof change;
  change.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  for (int i = 0; i < 1000; ++i) {
    if (HWND w = device_window_of(host.pid())) {
      DWORD_PTR result = 0;
      return ::SendMessageTimeoutW(w, WM_DEVICECHANGE, arrival ? DBT_DEVICEARRIVAL : DBT_DEVICEREMOVECOMPLETE,
                                   reinterpret_cast<LPARAM>(&change), SMTO_ABORTIFHUNG, 10000, &result) != 0;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
#else
  (void)host;
  notify_device_change(fifo_, arrival ? "arrival" : "removal");
  return true;
#endif
}

} // namespace testsupport
