// Records exchanged between the backup work and the scripts: contacts, entries of the
// backup index and rows of comma-separated files.
#pragma once
#include <string>
#include <vector>

namespace kit::backup {

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

} // namespace kit::backup
