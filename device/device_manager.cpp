#include "device/device_manager.h"

#include <set>
#include <utility>
#include <vector>

#include "common/text_convert.h"
#include "platform/device_change_monitor.h"
#include "device/removable_drive_scan.h"
#include "device/usb_instance_scan.h"
#include "host/app_paths.h"
#include "host/host_startup.h"
#include "host/message_window.h"

using kit::device::DeviceChange;
using kit::device::DeviceRecord;
using kit::device::ModelEntry;

namespace {
DeviceRecord record_from_model(const ModelEntry& model) {
  DeviceRecord r;
  r.alias = model.alias;
  r.productId = model.productId;
  r.brand = model.brand;
  r.product = model.product;
  r.type = model.type;
  r.largeIcon = model.largeIcon;
  return r;
}
} // namespace

CDeviceManager::CDeviceManager() = default;

CDeviceManager::~CDeviceManager() { Stop(); }

HRESULT CDeviceManager::Start(kit::device::DeviceManagerCallback* callback) {
  if (started_) return S_OK;
  started_ = 1;
  callback_ = callback;
  CMessageWindow* window = GetMessageWindow();
  if (window) {
    cookie_ = window->AddMessageHandler(this);
    monitor_ = std::make_unique<kit::platform::device_change_monitor>();
    monitor_->start([window](uintptr_t wparam) { window->PostWindowMessage(WM_DEVICECHANGE, wparam, 0); });
  }
  CAppPaths* paths = GetAppPaths();
  std::string program_dir = paths ? paths->GetExeDir() : std::string();
  if (!database_.LoadFile(kit::device::CDeviceDatabase::ArchivePath(program_dir))) {
    // Without a database nothing can be recognised: undo the start so that a later Start
    // tries again and reports the failure again, instead of claiming success.
    Stop();
    started_ = 0;
    return E_FAIL;
  }
  Rescan();
  return S_OK;
}

void CDeviceManager::Stop() {
  monitor_.reset();
  if (cookie_ != 0) {
    if (CMessageWindow* window = GetMessageWindow()) window->RemoveMessageHandler(cookie_);
    cookie_ = 0;
  }
}

void CDeviceManager::HandleMessage(uintptr_t argument) {
  const auto* record = reinterpret_cast<const MessageRecord*>(argument);
  if (!record || record->message != WM_DEVICECHANGE) return;
  if (record->wparam == DBT_DEVICEARRIVAL || record->wparam == DBT_DEVICEREMOVECOMPLETE) Rescan();
}

void CDeviceManager::Rescan() {
  ScanUsbDevices();
  ScanRemovableDrives();
  ReportChanges();
}

void CDeviceManager::ScanUsbDevices() {
  previous_ = current_;
  current_.clear();

  // Of several ids with one vendor and product id (interfaces of one device, or two
  // devices of one model) only the first is kept.
  std::set<std::pair<std::u16string, std::u16string>> seen;
  std::vector<std::u16string> candidates;
  for (const std::string& id : kit::device::usb_candidate_ids()) {
    std::u16string id16 = kit::text::utf8_to_utf16(id);
    if (!seen.insert({kit::device::instance_vid(id16), kit::device::instance_pid(id16)}).second) continue;
    candidates.push_back(std::move(id16));
  }

  for (const std::u16string& id : candidates) {
    const ModelEntry* model = nullptr;
    std::u16string vid, pid, serial;
    if (!database_.MatchInstanceId(id, &model, &vid, &pid, &serial)) continue;
    DeviceRecord r = record_from_model(*model);
    r.serial = serial;
    r.vid = vid;
    r.pid = pid;
    r.instanceId = id;
    current_[r.serial] = std::move(r);
  }
}

void CDeviceManager::ScanRemovableDrives() {
  for (const auto& drive : kit::device::enumerate_removable_drives()) {
    std::u16string storage_id = kit::text::utf8_to_utf16(drive.storage_id);
    std::u16string root = kit::text::utf8_to_utf16(drive.root);

    bool attached = false;
    for (auto& [serial, record] : current_) {
      // The serial field of the storage id, not any part of it: a serial such as "disk"
      // or "1" occurs in nearly every storage id.
      if (kit::device::storage_id_has_serial(storage_id, serial)) {
        record.drives.push_back(root);
        attached = true;
        break;
      }
    }
    if (attached) continue;

    const ModelEntry* model = nullptr;
    std::u16string vendor;
    if (!database_.MatchStorageProduct(kit::device::storage_product(storage_id), &model, &vendor)) continue;
    DeviceRecord r = record_from_model(*model);
    r.vid = vendor;
    r.drives.push_back(root);
    r.serial = kit::device::storage_serial(storage_id);
    current_[r.serial] = std::move(r);
  }
}

void CDeviceManager::ReportChanges() {
  // The three groups are computed first: a callback may start another scan.
  DeviceMap arrived, removed, changed;
  for (const auto& [serial, record] : current_) {
    auto before = previous_.find(serial);
    if (before == previous_.end()) {
      arrived.emplace(serial, record);
    } else if (before->second.drives.size() != record.drives.size()) {
      changed.emplace(serial, record);
    }
  }
  for (const auto& [serial, record] : previous_) {
    if (current_.count(serial) == 0) removed.emplace(serial, record);
  }

  const std::pair<const DeviceMap*, int32_t> groups[] = {
      {&arrived, kit::device::kDeviceArrived},
      {&removed, kit::device::kDeviceRemoved},
      {&changed, kit::device::kDeviceDrivesChanged},
  };
  for (const auto& [group, change_type] : groups) {
    for (const auto& [serial, record] : *group) {
      if (record.type == 0 || !callback_) continue;
      DeviceChange change(record, change_type);
      callback_->OnDeviceChanged(change);
    }
  }
}
