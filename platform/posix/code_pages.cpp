// Code page conversions through iconv, and lower-casing by the Unicode character tables.
#include <cerrno>
#include <clocale>
#include <cwctype>
#include <locale.h>
#include <memory>

#include <iconv.h>

#include "platform/code_pages.h"

namespace kit::platform {

namespace {
// UTF-16 in the machine's byte order, as iconv names it.
constexpr const char* kUtf16 = "UTF-16LE";

class iconv_handle {
public:
  iconv_handle(const char* to, const char* from) : h_(::iconv_open(to, from)) {}
  ~iconv_handle() {
    if (ok()) ::iconv_close(h_);
  }
  iconv_handle(const iconv_handle&) = delete;
  iconv_handle& operator=(const iconv_handle&) = delete;
  bool ok() const { return h_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return h_; }

private:
  iconv_t h_;
};

std::string encode(const std::string& code_page, std::u16string_view text) {
  std::string out;
  iconv_handle cd(code_page.c_str(), kUtf16);
  if (!cd.ok()) {
    // Unknown code page: keep ASCII, replace the rest.
    for (char16_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
  }
  out.reserve(text.size() * 2);
  char* in = const_cast<char*>(reinterpret_cast<const char*>(text.data()));
  size_t in_left = text.size() * sizeof(char16_t);
  char buffer[1024];
  while (in_left > 0) {
    char* dst = buffer;
    size_t dst_left = sizeof buffer;
    size_t rc = ::iconv(cd.get(), &in, &in_left, &dst, &dst_left);
    out.append(buffer, static_cast<size_t>(dst - buffer));
    if (rc != static_cast<size_t>(-1) || errno == E2BIG) continue;
    // A character the code page lacks (or a lone surrogate): one "?" for it.
    size_t skip = 2;
    auto unit = static_cast<char16_t>(static_cast<unsigned char>(in[0]) | (static_cast<unsigned char>(in[1]) << 8));
    if (unit >= 0xD800 && unit <= 0xDBFF && in_left >= 4) skip = 4;
    out += '?';
    in += skip;
    in_left = in_left >= skip ? in_left - skip : 0;
  }
  return out;
}

std::u16string decode(const std::string& code_page, std::string_view bytes) {
  std::u16string out;
  iconv_handle cd(kUtf16, code_page.c_str());
  if (!cd.ok()) {
    for (char c : bytes) out += static_cast<unsigned char>(c) < 0x80 ? static_cast<char16_t>(c) : u'\uFFFD';
    return out;
  }
  out.reserve(bytes.size());
  char* in = const_cast<char*>(bytes.data());
  size_t in_left = bytes.size();
  char16_t buffer[512];
  while (in_left > 0) {
    char* dst = reinterpret_cast<char*>(buffer);
    size_t dst_left = sizeof buffer;
    size_t rc = ::iconv(cd.get(), &in, &in_left, &dst, &dst_left);
    out.append(buffer, static_cast<size_t>(reinterpret_cast<char16_t*>(dst) - buffer));
    if (rc != static_cast<size_t>(-1) || errno == E2BIG) continue;
    // An invalid or cut-short sequence: one replacement character per byte skipped.
    out += u'\uFFFD';
    ++in;
    --in_left;
  }
  return out;
}

// Two-byte sequences of code page 936 decoded once: index (lead - 0x81) * 192 + (trail - 0x40).
struct cp936_table {
  char16_t units[126 * 192] = {};
  cp936_table() {
    iconv_handle cd(kUtf16, "CP936");
    if (!cd.ok()) return;
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
      for (int trail = 0x40; trail <= 0xFF; ++trail) {
        char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
        char* in = pair;
        size_t in_left = 2;
        char16_t result[2] = {};
        char* dst = reinterpret_cast<char*>(result);
        size_t dst_left = sizeof result;
        ::iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
        if (::iconv(cd.get(), &in, &in_left, &dst, &dst_left) != static_cast<size_t>(-1) && in_left == 0 &&
            dst_left < sizeof result)
          units[(lead - 0x81) * 192 + (trail - 0x40)] = result[0];
      }
    }
  }
};

locale_t unicode_ctype() {
  static locale_t loc = [] {
    locale_t l = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    if (!l) l = ::newlocale(LC_CTYPE_MASK, "en_US.UTF-8", static_cast<locale_t>(0));
    return l;
  }();
  return loc;
}
} // namespace

std::string encode_code_page(const std::string& code_page, std::u16string_view text) { return encode(code_page, text); }

std::u16string decode_code_page(const std::string& code_page, std::string_view bytes) { return decode(code_page, bytes); }

char16_t cp936_pair_to_utf16(unsigned char lead, unsigned char trail) {
  static const std::unique_ptr<cp936_table> table = std::make_unique<cp936_table>();
  if (lead < 0x81 || lead > 0xFE || trail < 0x40) return 0;
  return table->units[(lead - 0x81) * 192 + (trail - 0x40)];
}

char16_t to_lower(char16_t c) {
  if (c < 0x80) return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c;
  if (c >= 0xD800 && c <= 0xDFFF) return c;
  locale_t loc = unicode_ctype();
  if (!loc) return c;
  auto lowered = static_cast<wint_t>(::towlower_l(static_cast<wint_t>(c), loc));
  return lowered <= 0xFFFF ? static_cast<char16_t>(lowered) : c;
}

} // namespace kit::platform
