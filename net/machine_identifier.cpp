#include "net/machine_identifier.h"


#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "platform/adapter_table.h"
#include "platform/digest.h"
#include "platform/sysfs_source.h"

namespace kit::net {

namespace {
std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return s;
}

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = static_cast<char>(c | 0x20);
  return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// "aa:bb:cc:dd:ee:ff" into at most 8 bytes; false for anything else.
bool parse_address(const std::string& text, std::array<uint8_t, 8>* out) {
  out->fill(0);
  size_t count = 0;
  size_t i = 0;
  while (i < text.size()) {
    if (i + 1 >= text.size()) return false;
    int hi = hex_value(text[i]), lo = hex_value(text[i + 1]);
    if (hi < 0 || lo < 0) return false;
    if (count < out->size()) (*out)[count] = static_cast<uint8_t>(hi * 16 + lo);
    ++count;
    i += 2;
    if (i < text.size() && text[i++] != ':') return false;
  }
  return count > 0;
}

std::string link_name(const std::string& path) {
  std::error_code ec;
  std::filesystem::path target = std::filesystem::read_symlink(path, ec);
  return ec ? std::string() : target.filename().string();
}

bool contains_any(const std::string& text, std::initializer_list<const char*> parts) {
  for (const char* part : parts) {
    if (text.find(part) != std::string::npos) return true;
  }
  return false;
}
} // namespace

std::vector<adapter_record> read_adapters() {
  std::vector<adapter_record> adapters;
#ifdef _WIN32
  for (const platform::network_adapter& a : platform::network_adapters()) {
    adapter_record record;
    std::copy(a.address.begin(), a.address.end(), record.address.begin());
    record.name = a.name;
    record.description = a.description;
    adapters.push_back(std::move(record));
  }
  return adapters;
#endif
  std::string base = platform::sysfs::root() + "/class/net/";
  for (const std::string& name : platform::sysfs::list_dir(base)) {
    if (name == "lo") continue;
    adapter_record record;
    if (!parse_address(platform::sysfs::read_attribute(base + name + "/address"), &record.address)) continue;
    record.name = name;
    std::string driver = link_name(base + name + "/device/driver");
    std::string alias = platform::sysfs::read_attribute(base + name + "/ifalias");
    record.description = driver.empty() || alias.empty() ? driver + alias : driver + " " + alias;
    adapters.push_back(std::move(record));
  }
  return adapters;
}

bool is_set_aside(const adapter_record& adapter) {
  static const std::initializer_list<const char*> kVirtual = {"veth", "docker", "virbr", "vmnet", "vboxnet"};
  std::string name = lower(adapter.name), description = lower(adapter.description);
  if (contains_any(name, kVirtual) || contains_any(description, kVirtual)) return true;
  if (description.find("vmware") != std::string::npos) return true;
  return std::all_of(adapter.address.begin(), adapter.address.end(), [](uint8_t b) { return b == 0; });
}

bool choose_adapter(const std::vector<adapter_record>& adapters, adapter_record* chosen) {
  std::vector<const adapter_record*> kept, aside;
  for (const auto& a : adapters) (is_set_aside(a) ? aside : kept).push_back(&a);
  const auto& pool = kept.empty() ? aside : kept;
  if (pool.empty()) return false;
  *chosen = **std::min_element(pool.begin(), pool.end(),
                               [](const adapter_record* a, const adapter_record* b) { return a->address < b->address; });
  return true;
}

std::string md5_hex(const std::array<uint8_t, 8>& address) {
  return platform::md5_hex(std::string_view(reinterpret_cast<const char*>(address.data()), address.size()));
}

std::string machine_identifier() {
  adapter_record chosen;
  return choose_adapter(read_adapters(), &chosen) ? md5_hex(chosen.address) : std::string();
}

} // namespace kit::net
