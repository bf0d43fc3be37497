// Feeds arbitrary bytes to the backup reader (key, XOR, XML), then checks that what it
// read survives a backup of its own unchanged.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "backup/contact_backup_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  auto contacts = kit::backup::contacts_from_backup(bytes);
  if (!contacts) return 0;
  if (size < 4) __builtin_trap();  // no file shorter than its key has contacts
  uint32_t key = 0;
  for (size_t i = 4; i < 8 && i < size; ++i) key |= static_cast<uint32_t>(data[i]) << (8 * (i - 4));
  auto again = kit::backup::contacts_from_backup(
      kit::backup::backup_file_bytes(kit::backup::backup_xml("T", "title", *contacts), key));
  if (!again || *again != *contacts) __builtin_trap();
  return 0;
}
