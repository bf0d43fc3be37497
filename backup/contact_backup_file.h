// The file of one contact backup: a 32-bit key (little-endian), then the XML text of the
// backup with each byte XOR-ed with key byte (offset - 4) mod 4, key byte 0 being the least
// significant. The XML: root "Contact" holding one "Info" (time, title), one "Node" (name,
// number) per contact, then "Nodes" holding the same "Node" elements again; readers take
// the contacts from "Nodes".
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "backup/backup_records.h"

namespace kit::backup {


std::string backup_xml(const std::string& time_stamp, const std::string& title,
                       const std::vector<contact_record>& contacts);
// XOR-s the bytes with the key; applying it twice gives the bytes back.
void xor_with_key(std::string& bytes, uint32_t key);
// Key followed by the scrambled text.
std::string backup_file_bytes(std::string_view xml, uint32_t key);
// The contacts, in order, of a backup file; nothing when the file is shorter than its key
// or its text is not well-formed XML. A backup without "Nodes" has no contacts.
std::optional<std::vector<contact_record>> contacts_from_backup(std::string_view file_bytes);

} // namespace kit::backup
