#include "support/plugged_phone.h"

#include <cctype>

#include "support/sysfs_fixture.h"

namespace testsupport {

#ifdef _WIN32
namespace {
std::string upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}
} // namespace
#endif

plugged_phone::plugged_phone(script_install& app, const std::string& serial, const std::string& vid,
                             const std::string& pid) {
#ifdef _WIN32
  // The root hub and the phone below it, with the instance ids Windows gives them.
  const std::string phone = "USB\\VID_" + upper(vid) + "&PID_" + upper(pid) + "\\" + upper(serial);
  write_file(dir_ / "devices.txt", "usb | USB\\ROOT_HUB30\\4&2F9A3B1&0&0 | USB Root Hub (USB 3.0) | " + phone +
                                       "\nusb | " + phone + " | USB Composite Device |\n");
  app.set_env("MOBREVIST_SETUPAPI_RECORDING", dir_ / "devices.txt");
#else
  sysfs_ = std::make_unique<sysfs_fixture>();
  app.set_env("MOBREVIST_SYSFS_ROOT", sysfs_->sys_root());
  app.set_env("MOBREVIST_MOUNTINFO", sysfs_->mountinfo());
  sysfs_->add_device("1-1", vid, pid, serial);
#endif
}

plugged_phone::~plugged_phone() = default;

} // namespace testsupport
