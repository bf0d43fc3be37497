// The device database: which USB devices are supported phones and which model each one
// is. Loaded from the XML entry "my.dt" of a zip archive; answers the two matches of a
// scan (by USB instance id, by storage product name). Read-only once loaded.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace kit::device {

struct MatchRule {
  std::vector<std::u16string> values;  // in document order
  std::u16string productId;
};

struct VendorEntry {
  std::u16string vid;
  std::vector<MatchRule> pids;    // product-id rules
  std::vector<MatchRule> names;   // serial-pattern rules (regular expressions)
  std::vector<MatchRule> modals;  // storage product-name rules
};

struct ModelEntry {
  std::u16string productId, manufactory, brand, product;
  int32_t type = 0;
  std::u16string alias, screen, smallIcon, largeIcon;
};

// The parts of a USB instance id, each empty when absent: the four characters after
// "VID_" and after "PID_", and the text after the last backslash.
std::u16string instance_vid(const std::u16string& instance_id);
std::u16string instance_pid(const std::u16string& instance_id);
std::u16string instance_serial(const std::u16string& instance_id);
// From a storage id: the product name after "prod_", and the disk serial (the word after
// the last "#"); each empty when absent.
std::u16string storage_product(const std::u16string& storage_id);
std::u16string storage_serial(const std::u16string& storage_id);
// Whether the storage id names the device with this serial: its serial field (all after
// the last "#", less the instance suffix "&0") equals the serial, letter case aside.
bool storage_id_has_serial(const std::u16string& storage_id, const std::u16string& serial);

class CDeviceDatabase {
public:
  // The archive file that carries the database, in the program folder (with "/").
  static std::string ArchivePath(const std::string& program_dir);

  // Reads the archive file. False (and empty tables) when it is missing, empty or not an
  // archive, or when its document is not well-formed.
  bool LoadFile(const std::string& archive_path);
  // The same from the archive's bytes. An archive without "my.dt" (letter case ignored)
  // or with an empty entry loads as an empty database.
  bool LoadArchive(const std::string& archive_bytes);
  // The same from the document's bytes.
  bool LoadDocument(const std::string& xml);

  // Serial-pattern rules first, then product-id rules; a rule whose model is unknown is
  // passed over. On success fills model, vid, pid and serial.
  bool MatchInstanceId(const std::u16string& instance_id, const ModelEntry** model, std::u16string* vid,
                       std::u16string* pid, std::u16string* serial) const;
  // The first storage rule value (vendors in ascending order) that the product name
  // contains, letter case ignored. On success fills model and the vendor key.
  bool MatchStorageProduct(const std::u16string& product, const ModelEntry** model, std::u16string* vid) const;

  const std::map<std::u16string, VendorEntry>& vendors() const { return vendors_; }
  const std::map<std::u16string, ModelEntry>& models() const { return models_; }

private:
  const ModelEntry* model_of(const MatchRule& rule) const;
  std::map<std::u16string, VendorEntry> vendors_;
  std::map<std::u16string, ModelEntry> models_;
};

} // namespace kit::device
