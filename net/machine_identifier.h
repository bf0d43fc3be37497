// The machine identifier of usage reports: MD5 of the hardware address of one network
// adapter, as 32 lowercase hex digits. Adapters come from <sysfs root>/class/net (the root
// the device scans use), on Windows from the IP helper's adapter table; loopback is left out, virtual adapters and placeholder addresses
// are used only when nothing else is left, and of the rest the one with the lowest 8-byte
// address (the reported bytes, then zero bytes) is kept.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace kit::net {

struct adapter_record {
  std::array<uint8_t, 8> address{};
  std::string name;
  std::string description;  // the driver's name and the adapter's alias
};

// Every adapter with a readable hardware address, loopback excepted.
std::vector<adapter_record> read_adapters();
// True for adapters of virtual machines, containers and bridges, and for placeholder
// addresses (all zero bytes).
bool is_set_aside(const adapter_record& adapter);
// The adapter chosen as above; false when the list is empty.
bool choose_adapter(const std::vector<adapter_record>& adapters, adapter_record* chosen);
// MD5 of the 8 address bytes in lowercase hex.
std::string md5_hex(const std::array<uint8_t, 8>& address);
// The identifier of this machine; empty when it has no adapter.
std::string machine_identifier();

} // namespace kit::net
