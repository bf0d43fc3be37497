#include "backup/contact_backups.h"


#include "backup/contact_backup_file.h"
#include "backup/file_io.h"
#include "platform/calendar.h"
#include "platform/file.h"
#include "common/text_convert.h"
#include "common/xml_document.h"

using kit::text::utf16_to_utf8;
using kit::text::utf8_to_utf16;
using kit::xml::ref_ptr;
using kit::xml::xml_element;

namespace kit::backup {
namespace {

bool exists(const std::string& path) {
  return platform::path_info(path, false).has_value();  // a dangling link is taken too
}

// More backups than this in one second are refused rather than searched for a free name.
constexpr int kMaxBackupsPerSecond = 1000;

// A name of a file directly in the folder: no separator of either kind, not "." or "..".
bool is_plain_file_name(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find_first_of("/\\") == std::string::npos;
}

} // namespace

std::string backup_time_stamp(std::time_t when) {
  std::tm local = platform::local_time(when);
  char text[64];
  size_t n = std::strftime(text, sizeof text, "%Y年%m月%d日%H时%M分%S秒", &local);
  return std::string(text, n);
}

contact_backups::contact_backups(std::string profile_dir) : dir_(std::move(profile_dir)) {
  if (!dir_.empty() && dir_.back() != '/') dir_ += '/';
}

std::optional<std::string> contact_backups::backup(const std::string& title,
                                                   const std::vector<contact_record>& contacts, std::time_t when,
                                                   uint32_t key) {
  std::string date = free_date(backup_time_stamp(when));
  if (date.empty()) return std::nullopt;
  std::string path = dir_ + date;
  // Each file is written once, complete, under a temporary name and then renamed: a crash
  // never leaves a half-written backup or a cut index.
  if (!replace_file(path, backup_file_bytes(backup_xml(date, title, contacts), key))) return std::nullopt;
  if (!add_to_index(title, date)) return std::nullopt;
  return date;
}

// A backup made in the same second as an earlier one is named with "_2", "_3", ... after
// the time stamp, so neither the earlier file nor its index entry is replaced.
std::string contact_backups::free_date(const std::string& time_stamp) const {
  if (!exists(dir_ + time_stamp)) return time_stamp;
  for (int n = 2; n <= kMaxBackupsPerSecond; ++n) {
    std::string date = time_stamp + "_" + std::to_string(n);
    if (!exists(dir_ + date)) return date;
  }
  return {};
}

bool contact_backups::add_to_index(const std::string& title, const std::string& date) {
  ref_ptr<xml_element> root;
  kit::xml::xml_dom_parser parser;
  if (exists(index_path())) {
    if (!parser.parse_file(index_path())) return false;
    root = parser.root();
  } else {
    root = xml_element::create(u"Root");
  }
  auto node = xml_element::create(u"node");
  node->set_attribute(u"title", utf8_to_utf16(title));
  node->set_attribute(u"date", utf8_to_utf16(date));
  root->append_child(node.get());
  return replace_file(index_path(), root->serialize());
}

std::optional<std::vector<std::optional<backup_list_entry>>> contact_backups::list() const {
  kit::xml::xml_dom_parser parser;
  if (!parser.parse_file(index_path())) return std::nullopt;
  auto root = parser.root();
  if (!root) return std::nullopt;
  std::vector<std::optional<backup_list_entry>> entries;
  for (size_t i = 0; i < root->child_count(); ++i) {
    auto child = root->child_at(i);
    const std::u16string* title = child->attribute(u"title");
    const std::u16string* date = child->attribute(u"date");
    if (title && date)
      entries.push_back(backup_list_entry{utf16_to_utf8(*title), utf16_to_utf8(*date)});
    else
      entries.push_back(std::nullopt);
  }
  return entries;
}

std::optional<std::vector<contact_record>> contact_backups::restore(const std::string& date) const {
  if (!is_plain_file_name(date)) return std::nullopt;
  auto bytes = read_whole_file(dir_ + date);
  if (!bytes) return std::nullopt;
  return contacts_from_backup(*bytes);
}

} // namespace kit::backup
