// The contact and SMS backup work behind six AppHelp.Object methods. It lives in a library
// above host/, so the program hands its functions in at start-up; until then (and in
// programs that never do) the methods do nothing and return no value.
#pragma once
#include <optional>
#include <string>
#include <vector>

namespace kit::host {

struct contact_record {
  std::string name;    // UTF-8
  std::string number;  // UTF-8
  bool operator==(const contact_record&) const = default;
};

// One entry of the backup index; an entry lacking its title or date is empty.
struct backup_list_entry {
  std::string title;
  std::string date;  // the backup's time stamp, which also names its file
};

using csv_cells = std::vector<std::string>;

struct backup_methods {
  // Export files: every failure is silent.
  void (*write_sms_csv)(const std::string& path, const csv_cells& header, const std::vector<csv_cells>& rows) = nullptr;
  void (*write_contact_csv)(const std::string& path, const csv_cells& header,
                            const std::vector<csv_cells>& rows) = nullptr;
  // Backups kept in the profile directory.
  void (*backup_contacts)(const std::string& title, const std::vector<contact_record>& contacts) = nullptr;
  std::optional<std::vector<std::optional<backup_list_entry>>> (*list_backups)() = nullptr;
  std::optional<std::vector<contact_record>> (*restore_backup)(const std::string& date) = nullptr;
  // A comma-separated file of some address book.
  std::optional<std::vector<contact_record>> (*read_contacts_csv)(const std::string& path) = nullptr;
};

void set_backup_methods(const backup_methods& methods);
const backup_methods& get_backup_methods();

} // namespace kit::host
