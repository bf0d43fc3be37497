#include "backup/csv_reader.h"

#include <algorithm>

#include "backup/file_io.h"
#include "backup/text_encoding.h"
#include "common/text_convert.h"

namespace kit::backup {
namespace {

class csv_scanner {
public:
  explicit csv_scanner(std::u16string_view text) : text_(text) {}

  bool done() const { return pos_ >= text_.size(); }

  csv_record next_record() {
    csv_record cells;
    while (!at_line_end()) {
      cells.push_back(text_[pos_] == u'"' ? quoted_cell() : plain_cell());
      if (pos_ < text_.size() && text_[pos_] == u',') ++pos_;
    }
    if (pos_ < text_.size()) ++pos_;  // the LF
    return cells;
  }

private:
  // At the LF, at a CR right before it or at the end of the text.
  bool at_line_end() const {
    if (pos_ >= text_.size() || text_[pos_] == u'\n') return true;
    return text_[pos_] == u'\r' && (pos_ + 1 == text_.size() || text_[pos_ + 1] == u'\n');
  }

  // Runs to the next comma or the line end; the comma is left for the caller.
  std::u16string plain_cell() {
    std::u16string cell;
    while (!at_line_end() && text_[pos_] != u',') cell.push_back(text_[pos_++]);
    if (pos_ < text_.size() && text_[pos_] == u'\r') ++pos_;
    return cell;
  }

  std::u16string quoted_cell() {
    size_t open = pos_;
    std::u16string cell;
    for (size_t i = open + 1; i < text_.size(); ++i) {
      if (text_[i] != u'"') {
        cell.push_back(text_[i]);
        continue;
      }
      if (i + 1 < text_.size() && text_[i + 1] == u'"') {
        cell.push_back(u'"');
        ++i;
        continue;
      }
      pos_ = i + 1;
      cell += plain_cell();
      return cell;
    }
    // Never closed: the cell is the rest of its line, and the next line is read afresh.
    pos_ = open + 1;
    cell = plain_line_rest();
    return cell;
  }

  std::u16string plain_line_rest() {
    std::u16string cell;
    while (!at_line_end()) cell.push_back(text_[pos_++]);
    if (pos_ < text_.size() && text_[pos_] == u'\r') ++pos_;
    return cell;
  }

  std::u16string_view text_;
  size_t pos_ = 0;
};

bool same_ignoring_case(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (kit::text::to_lower(a[i]) != kit::text::to_lower(b[i])) return false;
  return true;
}

} // namespace

std::vector<csv_record> parse_csv(std::u16string_view text) {
  std::vector<csv_record> records;
  csv_scanner scanner(text);
  while (!scanner.done()) records.push_back(scanner.next_record());
  return records;
}

// One pass over the rows, keeping only the two columns wanted: the memory is the text and
// the contacts, never every cell of a large export.
std::optional<std::vector<contact_record>> contacts_from_csv(std::string_view file_bytes) {
  std::u16string text = decode_text(file_bytes);
  csv_scanner scanner(text);
  if (scanner.done()) return std::nullopt;
  std::optional<size_t> name_column, number_column;
  {
    const csv_record header = scanner.next_record();
    for (size_t i = 0; i < header.size(); ++i) {
      if (same_ignoring_case(header[i], u"First Name")) name_column = i;
      if (same_ignoring_case(header[i], u"Mobile Phone")) number_column = i;
    }
  }
  if (!name_column || !number_column) return std::nullopt;
  size_t needed = std::max(*name_column, *number_column) + 1;
  std::vector<contact_record> contacts;
  while (!scanner.done()) {
    csv_record row = scanner.next_record();
    if (row.size() < needed) continue;
    contacts.push_back({kit::text::utf16_to_utf8(row[*name_column]), kit::text::utf16_to_utf8(row[*number_column])});
  }
  return contacts;
}

std::optional<std::vector<contact_record>> read_contacts_csv_file(const std::string& path) {
  auto bytes = read_whole_file(path);
  if (!bytes) return std::nullopt;
  return contacts_from_csv(*bytes);
}

} // namespace kit::backup
