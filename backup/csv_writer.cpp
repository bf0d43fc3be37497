#include "backup/csv_writer.h"

#include "backup/file_io.h"
#include "common/text_convert.h"

namespace kit::backup {
namespace {

void append_quoted(std::string& out, const std::string& cell) {
  out += '"';
  for (char c : cell) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

std::string join(const csv_cells& cells) {
  std::string line;
  for (size_t i = 0; i < cells.size(); ++i) {
    if (i) line += ',';
    line += cells[i];
  }
  return line;
}

void append_ansi_line(std::string& out, const std::string& utf8_line) {
  out += kit::text::utf16_to_ansi(kit::text::utf8_to_utf16(utf8_line));
  out += "\r\n";
}

} // namespace

std::string csv_line(const csv_cells& cells, csv_quoting quoting) {
  std::string line;
  for (size_t i = 0; i < cells.size(); ++i) {
    if (i) line += ',';
    // An empty last cell is quoted too: a line ending in "," has one cell less when read.
    bool empty_last = i > 0 && i + 1 == cells.size() && cells[i].empty();
    if (quoting == csv_quoting::every_cell || empty_last || cells[i].find_first_of(",\"\r\n") != std::string::npos)
      append_quoted(line, cells[i]);
    else
      line += cells[i];
  }
  return line;
}

std::string csv_file_bytes(const csv_cells& header, const std::vector<csv_cells>& rows, csv_quoting quoting) {
  std::string out;
  append_ansi_line(out, join(header));
  for (const auto& row : rows) append_ansi_line(out, csv_line(row, quoting));
  return out;
}

bool write_csv_file(const std::string& path, const csv_cells& header, const std::vector<csv_cells>& rows,
                    csv_quoting quoting) {
  return write_whole_file(path, csv_file_bytes(header, rows, quoting));
}

} // namespace kit::backup
