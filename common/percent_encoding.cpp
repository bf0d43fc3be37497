#include "common/percent_encoding.h"

namespace kit::text {

int hex_digit_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string percent_encode(std::string_view text, std::string_view keep) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (unsigned char c : text) {
    bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
                 c == '.' || c == '~' || (c != 0 && keep.find(static_cast<char>(c)) != std::string_view::npos);
    if (plain) {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 15]);
    }
  }
  return out;
}

std::string percent_decode(std::string_view text, malformed_escape malformed) {
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] != '%') {
      out += text[i++];
      continue;
    }
    int hi = i + 1 < text.size() ? hex_digit_value(text[i + 1]) : -1;
    int lo = i + 2 < text.size() ? hex_digit_value(text[i + 2]) : -1;
    if (hi >= 0 && lo >= 0) {
      out += static_cast<char>(hi * 16 + lo);
      i += 3;
    } else if (malformed == malformed_escape::keep_three) {
      size_t keep = text.size() - i < 3 ? text.size() - i : 3;
      out.append(text.substr(i, keep));
      i += keep;
    } else {
      out += text[i++];
    }
  }
  return out;
}

} // namespace kit::text
