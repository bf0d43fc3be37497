// What the detector reports: one recognised device (DeviceRecord) and one difference
// between two scans (DeviceChange), read by the receiver through GetProperty indexes.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "host/lua_event.h"

namespace kit::device {

struct DeviceRecord {
  std::u16string alias;
  std::u16string serial;  // also the key of the device map
  std::u16string productId;
  std::u16string brand;
  std::u16string product;
  int32_t type = 0;  // 0: tracked, never reported
  std::vector<std::u16string> drives;  // drive roots, in the order found
  std::u16string vid;
  std::u16string pid;         // empty for a storage-only device
  std::u16string instanceId;  // empty for a storage-only device
  std::u16string largeIcon;
};

// changeType values.
constexpr int32_t kDeviceArrived = 1;
constexpr int32_t kDeviceRemoved = 2;
constexpr int32_t kDeviceDrivesChanged = 3;

// A tagged value read from a DeviceChange.
struct DeviceProperty {
  enum class kind { empty, int32, string, string_array };
  kind type = kind::empty;
  int32_t number = 0;
  std::u16string text;
  std::vector<std::u16string> list;
};

// Property indexes of a DeviceChange; 4, 7 and anything else answer E_NOTIMPL.
enum DevicePropertyIndex {
  kPropChangeType = 0,
  kPropSerial = 1,
  kPropBrand = 2,
  kPropProduct = 3,
  kPropDrives = 5,  // no array at all when there are no drives
  kPropProductId = 6,
  kPropVid = 8,
  kPropPid = 9,
  kPropInstanceId = 10,
  kPropLargeIcon = 11,
};

class DeviceChange {
public:
  DeviceChange(const DeviceRecord& record, int32_t change_type);
  HRESULT GetProperty(int index, DeviceProperty* value) const;

  std::u16string productId, serial, brand, product, vid, pid;
  int32_t changeType = 0;
  std::vector<std::u16string> drives;
  std::u16string instanceId, largeIcon;
};

class DeviceManagerCallback {
public:
  virtual ~DeviceManagerCallback() = default;
  // Called once per difference, on the UI thread; the change is valid during the call.
  virtual void OnDeviceChanged(const DeviceChange& change) = 0;
};

} // namespace kit::device
