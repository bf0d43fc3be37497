// What Windows' device enumeration says about USB devices and removable drives, as plain
// records: the present devices of the USB enumerator (SetupAPI) with their direct children
// (the configuration manager), the disk interfaces with their storage device numbers, and
// the removable drives' roots with theirs. The records are portable, so the rules that make
// device candidates and drive identities of them run, and are tested, on every system.
#pragma once
#include <string>
#include <vector>

namespace kit::platform::setupapi {

struct usb_device {
  std::string instance_id;            // "USB\VID_18D1&PID_4EE7\0A1B2C3D"
  std::string description;            // the device description ("Generic USB Hub")
  std::vector<std::string> children;  // instance ids of the devices directly below it
};

// A storage device number: -1 when the drive or interface could not be asked.
constexpr long kNoDeviceNumber = -1;

struct disk_interface {
  std::string path;  // "\\?\usbstor#disk&ven_...#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}"
  long device_number = kNoDeviceNumber;
};

struct removable_volume {
  std::string root;  // "E:\"
  long device_number = kNoDeviceNumber;
};

// The three lists as a recording holds them: one record a line, fields split by " | ",
//   usb | instance id | device description | child instance ids, split by ", "
//   disk | disk interface path | storage device number
//   volume | removable drive root | storage device number
// Blank lines and lines starting with "#" are skipped, so are records that lack a field or
// whose number is no number.
struct recording {
  std::vector<usb_device> devices;
  std::vector<disk_interface> disks;
  std::vector<removable_volume> volumes;
};
recording parse_recording(const std::string& text);

#ifdef _WIN32
// Where MOBREVIST_SETUPAPI_RECORDING names a recording file, the three calls below answer
// from it instead of asking the system (a machine whose devices are laid out for a test).
// The present devices of the USB enumerator, in enumeration order.
std::vector<usb_device> present_usb_devices();
// The present disk interfaces, in enumeration order.
std::vector<disk_interface> disk_interfaces();
// The logical drives of type removable, in the order the system lists them.
std::vector<removable_volume> removable_volumes();
#endif

} // namespace kit::platform::setupapi
