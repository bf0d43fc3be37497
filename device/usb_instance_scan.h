// The present USB devices as Windows-style device instance ids, read from sysfs:
// "USB\VID_18D1&PID_4EE7\<serial>" for a device, "USB\VID_...&PID_...&MI_01\<id>" for each
// interface of a composite device, "USB\ROOT_HUB30\<id>" for a root hub. The vendor and
// product ids are upper-case hexadecimal; a device without a usable serial number gets a
// stable id made from its port path instead.
#pragma once
#include <string>
#include <vector>

namespace kit::device {

struct usb_node {
  std::string name;         // sysfs name: "usb1", "1-1.2", "1-1.2:1.0"
  std::string path;         // sysfs folder, links resolved
  std::string instance_id;  // Windows-style id
  std::string description;  // what the device manager would call it ("Generic USB Hub", ...)
  std::vector<size_t> children;  // indexes of the devices directly below it
};

// Every USB device node (root hubs, hubs, devices and composite interfaces), in the
// order a walk of the device tree meets them (bus by bus, ports ascending).
std::vector<usb_node> enumerate_usb_nodes();

// The candidate list of the USB scan: root hubs and hubs are replaced by the ids of their
// direct children (one level), every other node gives its own id.
std::vector<std::string> usb_candidate_ids();

// The serial a device reports, or its port-path stable id when it has none or one that
// cannot stand in an instance id. usb_dir is the device's sysfs folder.
std::string usb_serial_or_stable_id(const std::string& usb_dir, const std::string& name);

} // namespace kit::device
