// The device candidates and removable drives of a Windows machine, made from what its
// device enumeration reports (platform/setupapi_devices.h): the same two lists the Linux
// build makes from sysfs, for the device manager's matching.
#pragma once
#include <string>
#include <vector>

#include "device/removable_drive_scan.h"
#include "platform/setupapi_devices.h"

namespace kit::device {

// Root hubs (an instance id with "root_hub") and hubs (a description with "usb hub") give
// the ids of their direct children, one level deep; every other device its own id.
std::vector<std::string> windows_candidate_ids(const std::vector<platform::setupapi::usb_device>& devices);

// The USB mass-storage identity in a disk interface path: the part from "usbstor" up to
// the last "#{" ("usbstor#disk&ven_...&prod_...&rev_...#serial&0"); empty for any other disk.
std::string storage_id_of_interface(const std::string& path);

// Each removable drive with the identity of the first USB disk interface of its device
// number, in drive order; a drive without a number or without such an interface is left
// out (two unknown numbers are no match).
std::vector<removable_drive> windows_removable_drives(const std::vector<platform::setupapi::removable_volume>& volumes,
                                                      const std::vector<platform::setupapi::disk_interface>& disks);

} // namespace kit::device
