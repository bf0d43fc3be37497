#include "device/usb_instance_scan.h"

#include <algorithm>
#include <cctype>
#include <map>

#include "device/windows_device_scan.h"
#include "platform/sysfs_source.h"

namespace kit::device {

namespace {
std::string upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// Lower-case containment that is false when either text is empty.
bool contains_nocase(const std::string& text, const std::string& part) {
  if (text.empty() || part.empty()) return false;
  std::string t = text, p = part;
  for (char& c : t) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (char& c : p) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return t.find(p) != std::string::npos;
}

// A serial number is used only when every character may stand in an instance id; the
// rest of the system splits ids at backslashes and ampersands.
bool usable_serial(const std::string& s) {
  if (s.empty() || s.size() > 126) return false;
  for (unsigned char c : s) {
    if (c <= 0x20 || c >= 0x7F || c == ',' || c == '\\' || c == '&' || c == '#') return false;
  }
  return true;
}

// The stable stand-in for a missing serial: the port path with its separators made into
// word characters, so it survives the storage-id patterns too ("1-1.2" -> "5&P1_1_2&0").
std::string port_word(const std::string& name) {
  std::string s;
  for (char c : name) s += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  return s;
}
std::string stable_id(const std::string& name) { return "5&P" + port_word(name) + "&0"; }

// Sorting key that walks the tree depth first: "usb2" stands for bus 2 itself.
std::string tree_key(const std::string& name) { return name.rfind("usb", 0) == 0 ? name.substr(3) : name; }

std::string parent_dir(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}
} // namespace

std::string usb_serial_or_stable_id(const std::string& usb_dir, const std::string& name) {
  std::string serial = platform::sysfs::read_attribute(usb_dir + "/serial");
  return usable_serial(serial) ? serial : stable_id(name);
}

std::vector<usb_node> enumerate_usb_nodes() {
  const std::string bus = platform::sysfs::root() + "/bus/usb/devices";
  std::vector<std::string> names = platform::sysfs::list_dir(bus);
  std::sort(names.begin(), names.end(),
            [](const std::string& a, const std::string& b) { return platform::sysfs::natural_less(tree_key(a), tree_key(b)); });

  std::vector<usb_node> nodes;
  std::map<std::string, size_t> by_path;
  for (const std::string& name : names) {
    if (name.find(':') != std::string::npos) continue;  // interfaces come with their device
    usb_node node;
    node.name = name;
    node.path = platform::sysfs::canonical(bus + "/" + name);
    if (node.path.empty()) continue;
    std::string vid = upper(platform::sysfs::read_attribute(node.path + "/idVendor"));
    std::string pid = upper(platform::sysfs::read_attribute(node.path + "/idProduct"));
    std::string cls = platform::sysfs::read_attribute(node.path + "/bDeviceClass");
    if (name.rfind("usb", 0) == 0) {
      std::string version = platform::sysfs::read_attribute(node.path + "/version");
      const char* kind = version.rfind("3", 0) == 0 ? "ROOT_HUB30" : version.rfind("2", 0) == 0 ? "ROOT_HUB20" : "ROOT_HUB";
      node.instance_id = std::string("USB\\") + kind + "\\4&BUS" + name.substr(3) + "&0";
      node.description = "USB Root Hub";
    } else {
      if (vid.empty() || pid.empty()) continue;
      node.instance_id = "USB\\VID_" + vid + "&PID_" + pid + "\\" + usb_serial_or_stable_id(node.path, name);
      node.description = cls == "09" ? "Generic USB Hub" : "USB Device";
    }
    size_t index = nodes.size();
    by_path[node.path] = index;
    auto parent = by_path.find(parent_dir(node.path));
    if (parent != by_path.end()) nodes[parent->second].children.push_back(index);
    nodes.push_back(node);

    // A device with several interfaces is composite: each interface is a node of its own.
    if (cls == "09" || name.rfind("usb", 0) == 0) continue;
    std::vector<std::string> interfaces;
    for (const std::string& entry : platform::sysfs::list_dir(node.path)) {
      if (entry.rfind(name + ":", 0) == 0) interfaces.push_back(entry);
    }
    if (interfaces.size() < 2) continue;
    std::sort(interfaces.begin(), interfaces.end(), platform::sysfs::natural_less);
    for (const std::string& entry : interfaces) {
      std::string number = upper(platform::sysfs::read_attribute(node.path + "/" + entry + "/bInterfaceNumber"));
      if (number.empty()) continue;
      usb_node mi;
      mi.name = entry;
      mi.path = node.path + "/" + entry;
      mi.instance_id = "USB\\VID_" + vid + "&PID_" + pid + "&MI_" + number + "\\6&P" + port_word(name) +
                       "&0&00" + number;
      mi.description = "USB Interface";
      nodes.push_back(mi);
    }
  }
  return nodes;
}

std::vector<std::string> usb_candidate_ids() {
#ifdef _WIN32
  return windows_candidate_ids(platform::setupapi::present_usb_devices());
#endif
  std::vector<usb_node> nodes = enumerate_usb_nodes();
  std::vector<std::string> ids;
  for (const usb_node& node : nodes) {
    if (node.instance_id.empty()) continue;
    if (contains_nocase(node.instance_id, "root_hub") || contains_nocase(node.description, "usb hub")) {
      for (size_t child : node.children) {
        if (!nodes[child].instance_id.empty()) ids.push_back(nodes[child].instance_id);
      }
      continue;
    }
    ids.push_back(node.instance_id);
  }
  return ids;
}

} // namespace kit::device
