// Comma-separated export files: header line, then one line per row, each in the ANSI code
// page and ended by CR LF. The header is written as given.
#pragma once
#include <string>
#include <vector>

#include "backup/backup_records.h"

namespace kit::backup {


enum class csv_quoting {
  every_cell,  // SMS rows: each cell in double quotes, inner quotes doubled
  where_needed,  // contact rows: only cells holding a comma, a double quote, CR or LF, and
                 // an empty last cell of a longer row, are quoted (so the row keeps its
                 // columns when read); all others are written as given
};

// One line (UTF-8, without its CR LF).
std::string csv_line(const csv_cells& cells, csv_quoting quoting);
// The whole file: every line converted to the ANSI code page and ended by CR LF.
std::string csv_file_bytes(const csv_cells& header, const std::vector<csv_cells>& rows, csv_quoting quoting);
// Creates the file anew; false when it cannot be written.
bool write_csv_file(const std::string& path, const csv_cells& header, const std::vector<csv_cells>& rows,
                    csv_quoting quoting);

} // namespace kit::backup
