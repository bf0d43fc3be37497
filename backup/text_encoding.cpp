#include "backup/text_encoding.h"

#include "common/text_convert.h"

namespace kit::backup {
namespace {

std::u16string utf16_units(std::string_view bytes, bool big_endian) {
  std::u16string text;
  text.reserve(bytes.size() / 2);
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    auto lo = static_cast<unsigned char>(bytes[big_endian ? i + 1 : i]);
    auto hi = static_cast<unsigned char>(bytes[big_endian ? i : i + 1]);
    text.push_back(static_cast<char16_t>(lo | (hi << 8)));
  }
  return text;
}

bool starts_with(std::string_view bytes, std::string_view mark) { return bytes.substr(0, mark.size()) == mark; }

} // namespace

bool looks_like_utf16le(std::string_view bytes) {
  if (bytes.size() < 2 || bytes.size() % 2 != 0) return false;
  size_t pairs = bytes.size() / 2, narrow = 0;
  for (size_t i = 0; i < bytes.size(); i += 2) {
    bool lo_zero = bytes[i] == '\0', hi_zero = bytes[i + 1] == '\0';
    if (lo_zero && hi_zero) return false;
    if (hi_zero) ++narrow;
  }
  return narrow * 4 >= pairs;
}

bool is_valid_utf8(std::string_view bytes) {
  size_t i = 0, n = bytes.size();
  while (i < n) {
    auto c = static_cast<unsigned char>(bytes[i]);
    if (c < 0x80) {
      ++i;
      continue;
    }
    size_t len;
    uint32_t cp;
    if (c >= 0xC2 && c <= 0xDF) {
      len = 2;
      cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      len = 3;
      cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      len = 4;
      cp = c & 0x07;
    } else {
      return false;
    }
    if (n - i < len) return false;
    for (size_t k = 1; k < len; ++k) {
      auto t = static_cast<unsigned char>(bytes[i + k]);
      if ((t & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (t & 0x3F);
    }
    if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) || (cp >= 0xD800 && cp <= 0xDFFF))
      return false;
    i += len;
  }
  return true;
}

text_encoding detect_text_encoding(std::string_view bytes) {
  if (starts_with(bytes, "\xEF\xBB\xBF")) return text_encoding::utf8_marked;
  if (starts_with(bytes, "\xFF\xFE")) return text_encoding::utf16le_marked;
  if (starts_with(bytes, "\xFE\xFF")) return text_encoding::utf16be_marked;
  if (looks_like_utf16le(bytes)) return text_encoding::utf16le;
  bool non_ascii = false;
  for (char c : bytes)
    if (static_cast<unsigned char>(c) > 0x7F) {
      non_ascii = true;
      break;
    }
  if (non_ascii && is_valid_utf8(bytes)) return text_encoding::utf8;
  return text_encoding::ansi;
}

std::u16string decode_text(std::string_view bytes) {
  switch (detect_text_encoding(bytes)) {
    case text_encoding::utf8_marked: return kit::text::utf8_to_utf16(bytes.substr(3));
    case text_encoding::utf16le_marked: return utf16_units(bytes.substr(2), false);
    case text_encoding::utf16be_marked: return utf16_units(bytes.substr(2), true);
    case text_encoding::utf16le: return utf16_units(bytes, false);
    case text_encoding::utf8: return kit::text::utf8_to_utf16(bytes);
    case text_encoding::ansi: break;
  }
  return kit::text::ansi_to_utf16(bytes);
}

} // namespace kit::backup
