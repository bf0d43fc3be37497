// Feeds arbitrary bytes to the address-book import (encoding detection, CSV cells, column
// lookup), then checks that contacts written by the export read back unchanged.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "backup/csv_reader.h"
#include "backup/csv_writer.h"
#include "backup/text_encoding.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  auto contacts = kit::backup::contacts_from_csv(bytes);
  if (contacts && contacts->size() > size) __builtin_trap();  // every row takes input bytes

  // The input split at its first zero byte as one contact's name and number; when both
  // are valid UTF-8 text without zero bytes, an export of it (written here in UTF-8 with a
  // mark, the encoding-neutral form of the ANSI export) must read back as the same contact.
  size_t cut = bytes.find('\0');
  if (cut == std::string_view::npos) return 0;
  std::string name(bytes.substr(0, cut)), number(bytes.substr(cut + 1));
  if (number.find('\0') != std::string::npos || !kit::backup::is_valid_utf8(name) ||
      !kit::backup::is_valid_utf8(number))
    return 0;
  std::string file = "\xEF\xBB\xBF" "First Name,Mobile Phone\r\n" +
                     kit::backup::csv_line({name, number}, kit::backup::csv_quoting::where_needed) + "\r\n";
  auto back = kit::backup::contacts_from_csv(file);
  if (!back || back->size() != 1 || (*back)[0].name != name || (*back)[0].number != number) __builtin_trap();
  return 0;
}
