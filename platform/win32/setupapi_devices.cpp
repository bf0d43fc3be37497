// The USB devices, disk interfaces and removable drives as SetupAPI, the configuration
// manager and the storage driver report them.
#include "platform/setupapi_devices.h"

#include <windows.h>
#include <cfgmgr32.h>
#include <setupapi.h>
#include <winioctl.h>

#include "platform/file.h"
#include "platform/win32/wide.h"

namespace kit::platform::setupapi {

namespace {

// {53F56307-B6BF-11D0-94F2-00A0C91EFB8B}: the disk device interface class.
const GUID kDiskInterface = {0x53F56307, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};

std::string instance_id_of(HDEVINFO set, SP_DEVINFO_DATA& data) {
  std::wstring id(128, L'\0');
  DWORD needed = 0;
  if (!::SetupDiGetDeviceInstanceIdW(set, &data, id.data(), static_cast<DWORD>(id.size()), &needed)) {
    if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed == 0) return {};
    id.assign(needed, L'\0');
    if (!::SetupDiGetDeviceInstanceIdW(set, &data, id.data(), needed, &needed)) return {};
  }
  return win32::utf8(id.c_str());
}

std::string description_of(HDEVINFO set, SP_DEVINFO_DATA& data) {
  std::wstring text(64, L'\0');  // 128 bytes
  DWORD needed = 0;
  auto read = [&] {
    return ::SetupDiGetDeviceRegistryPropertyW(set, &data, SPDRP_DEVICEDESC, nullptr, reinterpret_cast<BYTE*>(text.data()),
                                               static_cast<DWORD>(text.size() * sizeof(wchar_t)), &needed);
  };
  if (!read()) {
    if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed == 0) return {};
    text.assign(needed / sizeof(wchar_t) + 1, L'\0');
    if (!read()) return {};
  }
  return win32::utf8(text.c_str());
}

std::vector<std::string> children_of(const std::string& instance_id) {
  std::vector<std::string> ids;
  std::wstring id = win32::wide(instance_id);
  DEVINST node = 0, child = 0;
  if (::CM_Locate_DevNodeW(&node, id.data(), CM_LOCATE_DEVNODE_NORMAL) != CR_SUCCESS) return ids;
  if (::CM_Get_Child(&child, node, 0) != CR_SUCCESS) return ids;
  for (;;) {
    wchar_t buffer[1024] = {};
    if (::CM_Get_Device_IDW(child, buffer, 1024, 0) == CR_SUCCESS && buffer[0] != L'\0') ids.push_back(win32::utf8(buffer));
    DEVINST next = 0;
    if (::CM_Get_Sibling(&next, child, 0) != CR_SUCCESS) break;
    child = next;
  }
  return ids;
}

// The storage device number of a device path ("\\.\E:" or an interface path).
long device_number_of(const std::wstring& path) {
  HANDLE h = ::CreateFileW(path.c_str(), 0, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return kNoDeviceNumber;
  STORAGE_DEVICE_NUMBER number{};
  DWORD got = 0;
  BOOL ok = ::DeviceIoControl(h, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &number, sizeof number, &got, nullptr);
  ::CloseHandle(h);
  return ok && got >= sizeof number ? static_cast<long>(number.DeviceNumber) : kNoDeviceNumber;
}

// The recording named by the environment, read again at every call so that a test can lay
// out the next state of the machine before it announces a device change.
std::optional<recording> recorded() {
  std::string path = win32::environment(L"MOBREVIST_SETUPAPI_RECORDING");
  if (path.empty()) return std::nullopt;
  return parse_recording(read_whole_file(path, 1 << 20).value_or(""));
}

} // namespace

std::vector<usb_device> present_usb_devices() {
  if (auto r = recorded()) return r->devices;
  std::vector<usb_device> devices;
  HDEVINFO set = ::SetupDiGetClassDevsW(nullptr, L"USB", nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES);
  if (set == INVALID_HANDLE_VALUE) return devices;
  SP_DEVINFO_DATA data{};
  data.cbSize = sizeof data;
  for (DWORD i = 0; ::SetupDiEnumDeviceInfo(set, i, &data); ++i) {
    usb_device d;
    d.instance_id = instance_id_of(set, data);
    if (d.instance_id.empty()) continue;
    d.description = description_of(set, data);
    d.children = children_of(d.instance_id);
    devices.push_back(std::move(d));
  }
  ::SetupDiDestroyDeviceInfoList(set);
  return devices;
}

std::vector<disk_interface> disk_interfaces() {
  if (auto r = recorded()) return r->disks;
  std::vector<disk_interface> disks;
  HDEVINFO set = ::SetupDiGetClassDevsW(&kDiskInterface, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  if (set == INVALID_HANDLE_VALUE) return disks;
  SP_DEVICE_INTERFACE_DATA data{};
  data.cbSize = sizeof data;
  for (DWORD i = 0; ::SetupDiEnumDeviceInterfaces(set, nullptr, &kDiskInterface, i, &data); ++i) {
    DWORD needed = 0;
    ::SetupDiGetDeviceInterfaceDetailW(set, &data, nullptr, 0, &needed, nullptr);
    if (needed < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) continue;
    std::vector<unsigned char> buffer(needed);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    if (!::SetupDiGetDeviceInterfaceDetailW(set, &data, detail, needed, nullptr, nullptr)) continue;
    std::wstring path = detail->DevicePath;
    disks.push_back({win32::utf8(path), device_number_of(path)});
  }
  ::SetupDiDestroyDeviceInfoList(set);
  return disks;
}

std::vector<removable_volume> removable_volumes() {
  if (auto r = recorded()) return r->volumes;
  std::vector<removable_volume> volumes;
  wchar_t roots[512] = {};
  DWORD length = ::GetLogicalDriveStringsW(511, roots);
  if (length == 0 || length > 511) return volumes;
  for (const wchar_t* root = roots; *root; root += wcslen(root) + 1) {
    if (::GetDriveTypeW(root) != DRIVE_REMOVABLE) continue;
    std::wstring device = L"\\\\.\\";
    device += root[0];
    device += L':';
    volumes.push_back({win32::utf8(root), device_number_of(device)});
  }
  return volumes;
}

} // namespace kit::platform::setupapi
