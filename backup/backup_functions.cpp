#include "backup/backup_functions.h"

#include <chrono>
#include <ctime>

#include "backup/contact_backups.h"
#include "backup/csv_reader.h"
#include "backup/csv_writer.h"
#include "host/app_paths.h"
#include "host/host_startup.h"

namespace kit::backup {
namespace {

contact_backups profile_backups() { return contact_backups(GetAppPaths()->GetProfileDir()); }

// The key of a backup: the millisecond tick count when it is saved.
uint32_t tick_count() {
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch());
  return static_cast<uint32_t>(ms.count());
}

} // namespace

bool write_sms_csv(const std::string& path, const csv_cells& header, const std::vector<csv_cells>& rows) {
  return write_csv_file(path, header, rows, csv_quoting::every_cell);
}

bool write_contact_csv(const std::string& path, const csv_cells& header, const std::vector<csv_cells>& rows) {
  return write_csv_file(path, header, rows, csv_quoting::where_needed);
}

std::optional<std::string> backup_contacts(const std::string& title, const std::vector<contact_record>& contacts) {
  return profile_backups().backup(title, contacts, std::time(nullptr), tick_count());
}

std::optional<std::vector<std::optional<backup_list_entry>>> list_backups() { return profile_backups().list(); }

std::optional<std::vector<contact_record>> restore_backup(const std::string& date) {
  return profile_backups().restore(date);
}

std::optional<std::vector<contact_record>> read_contacts_csv(const std::string& path) {
  return read_contacts_csv_file(path);
}

} // namespace kit::backup
