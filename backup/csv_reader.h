// Reads comma-separated files of address books: the text encoding is recognised
// (backup/text_encoding.h), lines end at LF with an optional CR before it, line 1 is the
// header and every later line one row.
//
// Cells: a cell starting with a double quote runs to the next lone double quote (two
// double quotes inside stand for one; commas and line breaks inside are part of the cell);
// what follows the closing quote up to the next comma is appended. A quoted cell that is
// never closed ends at the end of its line. Any other cell runs to the next comma or the
// end of the line. A line ending in a comma has no empty last cell.
#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "backup/backup_records.h"

namespace kit::backup {

using csv_record = std::vector<std::u16string>;

// Every line of the text as its cells, the header first.
std::vector<csv_record> parse_csv(std::u16string_view text);

// The contacts of an address-book export: the columns whose header cells equal
// "First Name" and "Mobile Phone" ignoring case (the last when a header names one twice),
// from every row long enough to hold both. Nothing when the text has no header line or
// either column is missing.
std::optional<std::vector<contact_record>> contacts_from_csv(std::string_view file_bytes);
std::optional<std::vector<contact_record>> read_contacts_csv_file(const std::string& path);

} // namespace kit::backup
