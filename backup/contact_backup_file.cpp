#include "backup/contact_backup_file.h"

#include "common/text_convert.h"
#include "common/xml_document.h"

using kit::text::utf16_to_utf8;
using kit::text::utf8_to_utf16;
using kit::xml::ref_ptr;
using kit::xml::xml_element;

namespace kit::backup {
namespace {

ref_ptr<xml_element> contact_node(const contact_record& c) {
  auto node = xml_element::create(u"Node");
  node->set_attribute(u"name", utf8_to_utf16(c.name));
  node->set_attribute(u"number", utf8_to_utf16(c.number));
  return node;
}

std::string attribute_text(const xml_element& e, std::u16string_view name) {
  const std::u16string* value = e.attribute(name);
  return value ? utf16_to_utf8(*value) : std::string();
}

} // namespace

std::string backup_xml(const std::string& time_stamp, const std::string& title,
                       const std::vector<contact_record>& contacts) {
  auto root = xml_element::create(u"Contact");
  auto info = xml_element::create(u"Info");
  info->set_attribute(u"time", utf8_to_utf16(time_stamp));
  info->set_attribute(u"title", utf8_to_utf16(title));
  root->append_child(info.get());
  for (const auto& c : contacts) root->append_child(contact_node(c).get());
  auto list = xml_element::create(u"Nodes");
  for (const auto& c : contacts) list->append_child(contact_node(c).get());
  root->append_child(list.get());
  return root->serialize();
}

void xor_with_key(std::string& bytes, uint32_t key) {
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(bytes[i] ^ ((key >> (8 * (i % 4))) & 0xFF));
}

std::string backup_file_bytes(std::string_view xml, uint32_t key) {
  std::string out;
  out.reserve(xml.size() + 4);
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((key >> (8 * i)) & 0xFF));
  std::string body(xml);
  xor_with_key(body, key);
  out += body;
  return out;
}

std::optional<std::vector<contact_record>> contacts_from_backup(std::string_view file_bytes) {
  if (file_bytes.size() < 4) return std::nullopt;
  uint32_t key = 0;
  for (int i = 0; i < 4; ++i) key |= static_cast<uint32_t>(static_cast<unsigned char>(file_bytes[i])) << (8 * i);
  std::string xml(file_bytes.substr(4));
  xor_with_key(xml, key);
  kit::xml::xml_dom_parser parser;
  if (!parser.parse_buffer(xml.data(), static_cast<long>(xml.size()))) return std::nullopt;
  auto root = parser.root();
  if (!root) return std::nullopt;
  std::vector<contact_record> contacts;
  auto list = root->first_child_named(u"Nodes");
  if (!list) return contacts;
  contacts.reserve(list->child_count());
  for (size_t i = 0; i < list->child_count(); ++i) {
    auto node = list->child_at(i);
    contacts.push_back({attribute_text(*node, u"name"), attribute_text(*node, u"number")});
  }
  return contacts;
}

} // namespace kit::backup
