#include "device/device_change.h"

namespace kit::device {

DeviceChange::DeviceChange(const DeviceRecord& r, int32_t change_type)
    : productId(r.productId),
      serial(r.serial),
      brand(r.brand),
      product(r.product),
      vid(r.vid),
      pid(r.pid),
      changeType(change_type),
      drives(r.drives),
      instanceId(r.instanceId),
      largeIcon(r.largeIcon) {}

HRESULT DeviceChange::GetProperty(int index, DeviceProperty* value) const {
  if (!value) return E_FAIL;
  *value = DeviceProperty{};
  auto text = [value](const std::u16string& s) {
    value->type = DeviceProperty::kind::string;
    value->text = s;
    return S_OK;
  };
  switch (index) {
    case kPropChangeType:
      value->type = DeviceProperty::kind::int32;
      value->number = changeType;
      return S_OK;
    case kPropSerial: return text(serial);
    case kPropBrand: return text(brand);
    case kPropProduct: return text(product);
    case kPropDrives:
      if (!drives.empty()) {
        value->type = DeviceProperty::kind::string_array;
        value->list = drives;
      }
      return S_OK;
    case kPropProductId: return text(productId);
    case kPropVid: return text(vid);
    case kPropPid: return text(pid);
    case kPropInstanceId: return text(instanceId);
    case kPropLargeIcon: return text(largeIcon);
    default: return E_NOTIMPL;
  }
}

} // namespace kit::device
