#include "platform/adapter_table.h"

#include <winsock2.h>
#include <iphlpapi.h>

#include "platform/win32/wide.h"

namespace kit::platform {

std::vector<network_adapter> network_adapters() {
  std::vector<network_adapter> out;
  ULONG size = 16 * 1024;
  std::vector<unsigned char> buffer;
  ULONG result = ERROR_BUFFER_OVERFLOW;
  // The table can grow between the two calls: asked again a few times.
  for (int attempt = 0; attempt < 4 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
    buffer.resize(size);
    result = ::GetAdaptersAddresses(AF_UNSPEC, GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER,
                                    nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
  }
  if (result != NO_ERROR) return out;
  for (auto* a = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()); a; a = a->Next) {
    if (a->IfType == IF_TYPE_SOFTWARE_LOOPBACK || a->PhysicalAddressLength == 0) continue;
    network_adapter adapter;
    ULONG length = a->PhysicalAddressLength > 8 ? 8 : a->PhysicalAddressLength;
    adapter.address.assign(a->PhysicalAddress, a->PhysicalAddress + length);
    adapter.name = a->AdapterName ? a->AdapterName : "";
    std::string description = a->Description ? win32::utf8(a->Description) : "";
    std::string friendly = a->FriendlyName ? win32::utf8(a->FriendlyName) : "";
    adapter.description = description.empty() || friendly.empty() ? description + friendly : description + " " + friendly;
    out.push_back(std::move(adapter));
  }
  return out;
}

} // namespace kit::platform
