// The contact backups kept in the profile directory: one file per backup, named by the
// local time of the backup ("2013年05月06日14时03分09秒"), and the index "contactRecord.xml"
// whose root holds one "node" (title, date) per backup in backup order. A later backup in
// the same second gets "_2", "_3", ... after the time stamp.
#pragma once
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "backup/backup_records.h"

namespace kit::backup {


inline constexpr const char* kIndexFileName = "contactRecord.xml";

// The local time as the backup's time stamp.
std::string backup_time_stamp(std::time_t when);

class contact_backups {
public:
  // profile_dir: the folder of the backups, with or without a trailing "/".
  explicit contact_backups(std::string profile_dir);

  // Writes the backup (taken at `when`, scrambled with `key`) and lists it in the index.
  // Nothing is written when the folder is missing; an index that does not parse keeps
  // the backup file but does not list it. Returns the backup's date, or nothing.
  std::optional<std::string> backup(const std::string& title, const std::vector<contact_record>& contacts,
                                    std::time_t when, uint32_t key);
  // The index entries in order (an entry lacking title or date is empty); nothing when
  // the index is missing or does not parse.
  std::optional<std::vector<std::optional<backup_list_entry>>> list() const;
  // The contacts of the backup of that date; nothing when it cannot be read or the date
  // is not a plain file name (so no date reads a file outside the folder).
  std::optional<std::vector<contact_record>> restore(const std::string& date) const;

  std::string index_path() const { return dir_ + kIndexFileName; }

private:
  std::string free_date(const std::string& time_stamp) const;
  bool add_to_index(const std::string& title, const std::string& date);
  std::string dir_;
};

} // namespace kit::backup
