// The Expat binding of the document model: builds the tree from the parser's callbacks.
#include <cstdio>
#include <cstring>
#include <vector>

#include <expat.h>

#include "common/text_convert.h"
#include "common/xml_document.h"

namespace kit::xml {

namespace {
constexpr size_t kFileBlock = 16384;

// "gb2312" (exactly this spelling): ASCII as itself, every byte from 128 starts a two-byte
// sequence decoded through code page 936.
int convert_gb2312(void*, const char* s) {
  char16_t c = kit::text::cp936_pair_to_utf16(static_cast<unsigned char>(s[0]), static_cast<unsigned char>(s[1]));
  // Expat rejects surrogates and 0; such a pair makes the document malformed.
  if (c == 0 || (c >= 0xD800 && c <= 0xDFFF)) return -1;
  return c;
}

int XMLCALL unknown_encoding(void*, const XML_Char* name, XML_Encoding* info) {
  if (!name || std::strcmp(name, "gb2312") != 0) return XML_STATUS_ERROR;
  for (int b = 0; b < 256; ++b) info->map[b] = b < 128 ? b : -2;
  info->data = nullptr;
  info->convert = convert_gb2312;
  info->release = nullptr;
  return XML_STATUS_OK;
}
} // namespace

template <class Ch>
struct basic_xml_dom_parser<Ch>::state {
  using element = basic_xml_element<Ch>;
  using cdata = basic_xml_cdata<Ch>;

  XML_Parser parser = nullptr;
  std::vector<ref_ptr<element>> open;  // innermost last
  ref_ptr<cdata> pending;              // character data of the innermost open element
  ref_ptr<element> root;

  state() {
    parser = XML_ParserCreate(nullptr);
    if (!parser) return;
    XML_SetUserData(parser, this);
    XML_SetElementHandler(parser, on_start, on_end);
    XML_SetCharacterDataHandler(parser, on_text);
    XML_SetUnknownEncodingHandler(parser, unknown_encoding, nullptr);
  }
  ~state() {
    if (parser) XML_ParserFree(parser);
  }

  void flush_pending(element* owner) {
    if (pending && owner) owner->append_cdata(std::move(pending));
    pending = nullptr;
  }

  static void XMLCALL on_start(void* user, const XML_Char* name, const XML_Char** attrs) {
    auto* s = static_cast<state*>(user);
    element* parent = s->open.empty() ? nullptr : s->open.back().get();
    s->flush_pending(parent);
    auto e = element::create(kit::text::utf8_to_utf16(name), parent);
    for (const XML_Char** a = attrs; a && a[0] && a[1]; a += 2)
      e->set_attribute(kit::text::utf8_to_utf16(a[0]), kit::text::utf8_to_utf16(a[1]));
    if (!s->root) s->root = e;
    s->open.push_back(std::move(e));
  }

  static void XMLCALL on_end(void* user, const XML_Char*) {
    auto* s = static_cast<state*>(user);
    if (s->open.empty()) return;
    ref_ptr<element> closing = std::move(s->open.back());
    s->open.pop_back();
    if (!s->open.empty()) s->open.back()->append_child(closing.get());
    s->flush_pending(closing.get());
  }

  static void XMLCALL on_text(void* user, const XML_Char* text, int length) {
    auto* s = static_cast<state*>(user);
    if (s->open.empty() || length <= 0) return;
    auto run = kit::text::utf8_to_utf16(std::string_view(text, static_cast<size_t>(length)));
    if (!s->pending) s->pending = ref_ptr<cdata>::adopt(new cdata());
    s->pending->append(run);
  }
};

template <class Ch>
basic_xml_dom_parser<Ch>::basic_xml_dom_parser() = default;

template <class Ch>
basic_xml_dom_parser<Ch>::~basic_xml_dom_parser() = default;

template <class Ch>
void basic_xml_dom_parser<Ch>::reset() {
  state_.reset();
  state_ = std::make_unique<state>();
}

template <class Ch>
bool basic_xml_dom_parser<Ch>::feed(const char* bytes, size_t length, bool final) {
  if (!state_ || !state_->parser) return false;
  while (length > 0 || final) {
    int chunk = length > kFileBlock ? static_cast<int>(kFileBlock) : static_cast<int>(length);
    bool last = final && static_cast<size_t>(chunk) == length;
    if (XML_Parse(state_->parser, bytes, chunk, last ? 1 : 0) != XML_STATUS_OK) return false;
    bytes += chunk;
    length -= static_cast<size_t>(chunk);
    if (last) break;
  }
  return true;
}

template <class Ch>
bool basic_xml_dom_parser<Ch>::parse_file(const std::string& path) {
  reset();
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  std::vector<char> block(kFileBlock);
  bool ok = true;
  for (;;) {
    size_t n = std::fread(block.data(), 1, block.size(), f);
    if (n > 0 && !feed(block.data(), n, false)) {
      ok = false;
      break;
    }
    if (n < block.size()) {
      ok = !std::ferror(f);
      break;
    }
  }
  std::fclose(f);
  // The end of the input must close the document; a file cut short is not accepted.
  if (ok) ok = feed(nullptr, 0, true);
  if (!ok) state_->root = nullptr;  // no half-built trees
  if (ok && state_->root) xml_document::create(path, state_->root.get());
  return ok;
}

template <class Ch>
bool basic_xml_dom_parser<Ch>::parse_buffer(const char* bytes, long length) {
  reset();
  if (!bytes) return false;
  size_t n = length < 0 ? std::strlen(bytes) : static_cast<size_t>(length);
  bool ok = feed(bytes, n, false) && feed(nullptr, 0, true);
  if (!ok) state_->root = nullptr;
  return ok;
}

template <class Ch>
ref_ptr<basic_xml_element<Ch>> basic_xml_dom_parser<Ch>::root() const {
  return state_ ? state_->root : nullptr;
}

template class basic_xml_dom_parser<char16_t>;

} // namespace kit::xml
