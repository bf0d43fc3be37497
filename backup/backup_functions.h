// The backup work AppHelp.Object offers the scripts, working in the profile folder of the
// running program.
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "backup/backup_records.h"

namespace kit::backup {

// Comma-separated exports; false when the file could not be written whole.
bool write_sms_csv(const std::string& path, const csv_cells& header, const std::vector<csv_cells>& rows);
bool write_contact_csv(const std::string& path, const csv_cells& header, const std::vector<csv_cells>& rows);

// Contact backups kept in the profile folder.
std::optional<std::string> backup_contacts(const std::string& title, const std::vector<contact_record>& contacts);
std::optional<std::vector<std::optional<backup_list_entry>>> list_backups();
std::optional<std::vector<contact_record>> restore_backup(const std::string& date);

// A comma-separated file of some address book.
std::optional<std::vector<contact_record>> read_contacts_csv(const std::string& path);

} // namespace kit::backup
