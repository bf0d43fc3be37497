#include "device/windows_device_scan.h"

#include <cctype>

namespace kit::device {

namespace {
// Lower-case containment that is false when either text is empty.
bool contains_nocase(std::string text, std::string part) {
  if (text.empty() || part.empty()) return false;
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (char& c : part) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text.find(part) != std::string::npos;
}
} // namespace

std::vector<std::string> windows_candidate_ids(const std::vector<platform::setupapi::usb_device>& devices) {
  std::vector<std::string> ids;
  for (const auto& device : devices) {
    if (device.instance_id.empty()) continue;
    if (contains_nocase(device.instance_id, "root_hub") || contains_nocase(device.description, "usb hub")) {
      for (const std::string& child : device.children) {
        if (!child.empty()) ids.push_back(child);
      }
      continue;
    }
    ids.push_back(device.instance_id);
  }
  return ids;
}

std::string storage_id_of_interface(const std::string& path) {
  // "\\?\" then "usbstor", any text, and the last "#{" after at least one more character.
  const std::string prefix = "\\\\?\\usbstor";
  size_t start = path.find(prefix);
  if (start == std::string::npos) return {};
  start += 4;  // the id begins at "usbstor"
  size_t end = path.rfind("#{");
  if (end == std::string::npos || end <= start + 7) return {};
  return path.substr(start, end - start);
}

std::vector<removable_drive> windows_removable_drives(const std::vector<platform::setupapi::removable_volume>& volumes,
                                                      const std::vector<platform::setupapi::disk_interface>& disks) {
  std::vector<removable_drive> drives;
  for (const auto& volume : volumes) {
    if (volume.device_number == platform::setupapi::kNoDeviceNumber) continue;
    for (const auto& disk : disks) {
      if (disk.device_number != volume.device_number) continue;
      std::string id = storage_id_of_interface(disk.path);
      if (id.empty()) continue;  // same number, but no USB storage: the search goes on
      drives.push_back(removable_drive{volume.root, id});
      break;
    }
  }
  return drives;
}

} // namespace kit::device
