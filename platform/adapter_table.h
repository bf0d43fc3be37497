// The network adapters of Windows as the IP helper lists them (GetAdaptersAddresses):
// hardware address, name and description, loopback adapters left out.
#pragma once
#ifdef _WIN32
#include <cstdint>
#include <string>
#include <vector>

namespace kit::platform {

struct network_adapter {
  std::vector<uint8_t> address;  // the hardware address as reported (at most 8 bytes)
  std::string name;              // the adapter's name (a GUID on Windows)
  std::string description;       // its description and its friendly name
};

std::vector<network_adapter> network_adapters();

} // namespace kit::platform
#endif
