// Feeds arbitrary bytes to the XML buffer parser and exercises the resulting tree.
#include <cstddef>
#include <cstdint>

#include "common/xml_document.h"

namespace {
void walk(const kit::xml::xml_element& e, int depth) {
  (void)e.text();
  (void)e.attribute(u"id");
  (void)e.first_child_named(u"a");
  if (depth > 64) return;
  for (size_t i = 0; i < e.child_count(); ++i) walk(*e.child_at(i), depth + 1);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kit::xml::xml_dom_parser parser;
  bool ok = parser.parse_buffer(reinterpret_cast<const char*>(data), static_cast<long>(size));
  auto root = parser.root();
  if (ok != static_cast<bool>(root)) __builtin_trap();  // success always yields a root
  if (root) {
    walk(*root, 0);
    std::string text = root->serialize();
    if (text.size() > root->serialized_size_bound()) __builtin_trap();
    // The serialised form parses again to the same text.
    kit::xml::xml_dom_parser again;
    if (!again.parse_buffer(text.data(), static_cast<long>(text.size()))) __builtin_trap();
    if (again.root()->serialize() != text) __builtin_trap();
  }
  return 0;
}
