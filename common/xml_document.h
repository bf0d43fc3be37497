// A small UTF-16 document model for XML: elements with a name, an attribute list ordered by
// name, the concatenated character data of the element and its child elements (the order
// of text relative to children is not kept). Trees are parsed from files or buffers
// (xml_dom_parser), built in memory, and written back in a compact UTF-8 form:
//   <name  attr='value' >text<child />...</name>
// with single-quoted attributes each followed by a blank, "/>" closing an element without
// children and text, no declaration and no line breaks.
#pragma once
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/xml_node.h"

namespace kit::xml {

class xml_document;

template <class Ch>
class basic_xml_cdata : public xml_node {
public:
  using string_type = std::basic_string<Ch>;
  explicit basic_xml_cdata(string_type text = {}) : xml_node(cdata_kind), text_(std::move(text)) {}
  const string_type& text() const { return text_; }
  void append(std::basic_string_view<Ch> more) { text_.append(more); }

private:
  string_type text_;
};

template <class Ch>
class basic_xml_attr_list {
public:
  using string_type = std::basic_string<Ch>;
  // Name -> value, ordered by name code unit by code unit.
  using map_type = std::map<string_type, string_type, std::less<>>;

  void set(string_type name, string_type value) { values_[std::move(name)] = std::move(value); }
  const string_type* find(std::basic_string_view<Ch> name) const {
    auto it = values_.find(name);
    return it == values_.end() ? nullptr : &it->second;
  }
  const map_type& values() const { return values_; }

private:
  map_type values_;
};

template <class Ch>
class basic_xml_element : public xml_node {
public:
  using string_type = std::basic_string<Ch>;
  using view_type = std::basic_string_view<Ch>;
  using cdata_type = basic_xml_cdata<Ch>;
  using attr_list_type = basic_xml_attr_list<Ch>;

  // A new element (one reference, owned by the returned pointer). The parent is recorded
  // but the element is not appended to it; append_child does that.
  static ref_ptr<basic_xml_element> create(string_type name, basic_xml_element* parent = nullptr);

  const string_type& name() const { return name_; }
  basic_xml_element* parent() const { return parent_; }
  ref_ptr<xml_document> document() const { return document_; }

  // Queries. Nodes come back with their own reference.
  ref_ptr<basic_xml_element> first_child_named(view_type name) const;  // exact, case-sensitive
  ref_ptr<basic_xml_element> child_at(size_t index) const;
  size_t child_count() const { return children_.size(); }
  // The value, or null when there is no such attribute.
  const string_type* attribute(view_type name) const;
  const attr_list_type* attributes() const { return attrs_.get(); }
  // All character-data runs concatenated in document order; empty when there are none.
  const string_type& text() const;
  bool has_text() const { return has_text_; }
  const std::vector<ref_ptr<cdata_type>>& cdata_runs() const { return cdata_; }

  // Building.
  void set_attribute(string_type name, string_type value);
  // Adds a reference to child at the end of the children and gives the subtree this
  // element's document. Appending an element to itself or to one of its descendants is
  // refused (it would make a cycle).
  bool append_child(basic_xml_element* child);
  // Adds one run of character data.
  void append_cdata(ref_ptr<cdata_type> run);
  void append_text(view_type text);

  // The serialised form (UTF-8) and an upper bound of its size in bytes.
  std::string serialize() const;
  virtual size_t serialized_size_bound() const;
  // Writes serialize() to the file (created or truncated). False when it cannot be written.
  bool save(const std::string& path) const;

  void set_document(xml_document* document);

protected:
  explicit basic_xml_element(string_type name) : xml_node(element_kind), name_(std::move(name)) {}
  ~basic_xml_element() override;

private:
  void serialize_to(std::string& out) const;

  string_type name_;
  mutable string_type text_cache_;
  bool has_text_ = false;
  mutable bool cache_valid_ = false;
  std::vector<ref_ptr<cdata_type>> cdata_;
  std::vector<ref_ptr<basic_xml_element>> children_;
  std::unique_ptr<attr_list_type> attrs_;
  basic_xml_element* parent_ = nullptr;
  ref_ptr<xml_document> document_;
};

using xml_element = basic_xml_element<char16_t>;
using xml_cdata = basic_xml_cdata<char16_t>;
using xml_attr_list = basic_xml_attr_list<char16_t>;

// The file a tree was read from and its root. Every element of the tree holds a reference
// to the document; the document refers to its root without owning it (so the two never
// keep each other alive), and forgets the root when the root goes away.
class xml_document : public xml_node {
public:
  static ref_ptr<xml_document> create(std::string file_name, xml_element* root);
  const std::string& file_name() const { return file_name_; }
  ref_ptr<xml_element> root() const;

private:
  friend class basic_xml_element<char16_t>;
  explicit xml_document(std::string file_name) : xml_node(document_kind), file_name_(std::move(file_name)) {}
  std::string file_name_;
  xml_element* root_ = nullptr;
};

// Parses XML (with Expat) into a tree. Besides the encodings Expat knows, documents
// declared with the encoding name "gb2312" (exactly, case-sensitive) are read through code
// page 936.
template <class Ch>
class basic_xml_dom_parser {
public:
  basic_xml_dom_parser();
  ~basic_xml_dom_parser();
  basic_xml_dom_parser(const basic_xml_dom_parser&) = delete;
  basic_xml_dom_parser& operator=(const basic_xml_dom_parser&) = delete;

  // Reads the file in blocks of 16384 bytes. False when it cannot be opened or is not
  // well-formed (also when it ends before the document is complete). On success the tree
  // gets an xml_document recording the path.
  bool parse_file(const std::string& path);
  // Parses a whole buffer; a negative length means it is NUL-terminated. False when it
  // is not a complete, well-formed document.
  bool parse_buffer(const char* bytes, long length);

  // The root element of the last parse, or null.
  ref_ptr<basic_xml_element<Ch>> root() const;

  struct state;  // the Expat binding, kept out of this header

private:
  bool feed(const char* bytes, size_t length, bool final);
  void reset();
  std::unique_ptr<state> state_;
};

using xml_dom_parser = basic_xml_dom_parser<char16_t>;

} // namespace kit::xml
