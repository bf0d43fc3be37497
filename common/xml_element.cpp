#include <cstdio>

#include "common/text_convert.h"
#include "common/xml_document.h"

namespace kit::xml {

template <class Ch>
ref_ptr<basic_xml_element<Ch>> basic_xml_element<Ch>::create(string_type name, basic_xml_element* parent) {
  auto element = ref_ptr<basic_xml_element>::adopt(new basic_xml_element(std::move(name)));
  element->parent_ = parent;
  return element;
}

template <class Ch>
basic_xml_element<Ch>::~basic_xml_element() {
  if (document_ && document_->root_ == this) document_->root_ = nullptr;
}

template <class Ch>
ref_ptr<basic_xml_element<Ch>> basic_xml_element<Ch>::first_child_named(view_type name) const {
  for (const auto& child : children_)
    if (child->name_ == name) return child;
  return nullptr;
}

template <class Ch>
ref_ptr<basic_xml_element<Ch>> basic_xml_element<Ch>::child_at(size_t index) const {
  return index < children_.size() ? children_[index] : nullptr;
}

template <class Ch>
const typename basic_xml_element<Ch>::string_type* basic_xml_element<Ch>::attribute(view_type name) const {
  return attrs_ ? attrs_->find(name) : nullptr;
}

template <class Ch>
const typename basic_xml_element<Ch>::string_type& basic_xml_element<Ch>::text() const {
  if (!cache_valid_) {
    text_cache_.clear();
    for (const auto& run : cdata_) text_cache_ += run->text();
    cache_valid_ = true;
  }
  return text_cache_;
}

template <class Ch>
void basic_xml_element<Ch>::set_attribute(string_type name, string_type value) {
  if (!attrs_) attrs_ = std::make_unique<attr_list_type>();
  attrs_->set(std::move(name), std::move(value));
}

template <class Ch>
bool basic_xml_element<Ch>::append_child(basic_xml_element* child) {
  if (!child) return false;
  for (const basic_xml_element* e = this; e; e = e->parent_)
    if (e == child) return false;
  children_.emplace_back(child);
  child->parent_ = this;
  child->set_document(document_.get());
  return true;
}

template <class Ch>
void basic_xml_element<Ch>::set_document(xml_document* document) {
  // A root moved into another tree stops being its old document's root.
  if (document_ && document_.get() != document && document_->root_ == this) document_->root_ = nullptr;
  document_ = ref_ptr<xml_document>(document);
  for (const auto& child : children_) child->set_document(document);
}

template <class Ch>
void basic_xml_element<Ch>::append_cdata(ref_ptr<cdata_type> run) {
  if (!run) return;
  cdata_.push_back(std::move(run));
  has_text_ = true;
  cache_valid_ = false;
}

template <class Ch>
void basic_xml_element<Ch>::append_text(view_type text) {
  append_cdata(ref_ptr<cdata_type>::adopt(new cdata_type(string_type(text))));
}

namespace {
// Escapes one UTF-16 text into UTF-8: the five predefined entities and two-digit
// character references for 1..31.
void append_escaped(std::string& out, std::u16string_view text) {
  size_t plain_start = 0;
  auto flush = [&](size_t end) {
    if (end > plain_start) out += kit::text::utf16_to_utf8(text.substr(plain_start, end - plain_start));
  };
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    const char* entity = nullptr;
    char reference[8];
    switch (c) {
      case u'&': entity = "&amp;"; break;
      case u'<': entity = "&lt;"; break;
      case u'>': entity = "&gt;"; break;
      case u'"': entity = "&quot;"; break;
      case u'\'': entity = "&apos;"; break;
      default:
        if (c >= 1 && c <= 31) {
          std::snprintf(reference, sizeof reference, "&#%02d;", static_cast<int>(c));
          entity = reference;
        }
    }
    if (!entity) continue;
    flush(i);
    out += entity;
    plain_start = i + 1;
  }
  flush(text.size());
}
} // namespace

template <class Ch>
void basic_xml_element<Ch>::serialize_to(std::string& out) const {
  out += '<';
  append_escaped(out, name_);
  out += ' ';
  if (attrs_) {
    for (const auto& [name, value] : attrs_->values()) {
      out += ' ';
      out += kit::text::utf16_to_utf8(name);
      out += "='";
      append_escaped(out, value);
      out += "' ";
    }
  }
  const string_type& body = text();
  if (children_.empty() && body.empty()) {
    out += "/>";
    return;
  }
  out += '>';
  append_escaped(out, body);
  for (const auto& child : children_) child->serialize_to(out);
  out += "</";
  append_escaped(out, name_);
  out += '>';
}

template <class Ch>
std::string basic_xml_element<Ch>::serialize() const {
  std::string out;
  out.reserve(serialized_size_bound());
  serialize_to(out);
  return out;
}

template <class Ch>
size_t basic_xml_element<Ch>::serialized_size_bound() const {
  // Every UTF-16 unit takes at most 6 bytes once escaped ("&quot;") and at most 3 in UTF-8.
  size_t size = 2 * name_.size() * 6 + 8;
  if (attrs_)
    for (const auto& [name, value] : attrs_->values()) size += 5 + name.size() * 3 + value.size() * 6;
  size += text().size() * 6;
  for (const auto& child : children_) size += child->serialized_size_bound();
  return size;
}

template <class Ch>
bool basic_xml_element<Ch>::save(const std::string& path) const {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  std::string text = serialize();
  bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  ok = std::fclose(f) == 0 && ok;
  return ok;
}

template class basic_xml_element<char16_t>;

ref_ptr<xml_document> xml_document::create(std::string file_name, xml_element* root) {
  auto document = ref_ptr<xml_document>::adopt(new xml_document(std::move(file_name)));
  document->root_ = root;
  if (root) root->set_document(document.get());
  return document;
}

ref_ptr<xml_element> xml_document::root() const { return ref_ptr<xml_element>(root_); }

} // namespace kit::xml
