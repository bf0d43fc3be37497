// Code page conversions through MultiByteToWideChar and WideCharToMultiByte, and
// lower-casing by the system's Unicode tables.
#include "platform/code_pages.h"

#include <windows.h>

#include <cctype>

namespace kit::platform {

namespace {

// The Windows number of a code page named as the host names them ("CP936", "UTF-8",
// "ISO-8859-1", ...); 0 when there is no such code page here.
UINT code_page_number(const std::string& name) {
  std::string n;
  for (char c : name) n += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  UINT number = 0;
  auto digits_after = [&](size_t at) {
    if (at >= n.size()) return 0u;
    unsigned value = 0;
    for (size_t k = at; k < n.size(); ++k) {
      if (n[k] < '0' || n[k] > '9' || value > 100000) return 0u;
      value = value * 10 + static_cast<unsigned>(n[k] - '0');
    }
    return value;
  };
  if (n == "UTF-8" || n == "UTF8") {
    number = CP_UTF8;
  } else if (n == "GBK") {
    number = 936;
  } else if (n == "GB18030") {
    number = 54936;
  } else if (n == "ASCII" || n == "US-ASCII") {
    number = 20127;
  } else if (n == "LATIN1") {
    number = 28591;
  } else if (n.rfind("ISO-8859-", 0) == 0) {
    number = 28590 + digits_after(9);
  } else if (n.rfind("WINDOWS-", 0) == 0) {
    number = digits_after(8);
  } else if (n.rfind("CP", 0) == 0) {
    number = digits_after(2);
  }
  return number && ::IsValidCodePage(number) ? number : 0;
}

// Whether the code page converts with the "character not found" report (UTF-8 and a few
// others refuse the flag and the default character).
bool reports_missing(UINT cp) { return cp != CP_UTF8 && cp != 54936 && cp != 65000; }

// One character (one or two UTF-16 units) in the code page; "?" when it has none.
std::string encode_one(UINT cp, const wchar_t* unit, int count) {
  char out[16];
  BOOL used_default = FALSE;
  int n = reports_missing(cp)
              ? ::WideCharToMultiByte(cp, WC_NO_BEST_FIT_CHARS, unit, count, out, sizeof out, "?", &used_default)
              : ::WideCharToMultiByte(cp, WC_ERR_INVALID_CHARS, unit, count, out, sizeof out, nullptr, nullptr);
  if (n <= 0 || used_default) return "?";
  return std::string(out, static_cast<size_t>(n));
}

} // namespace

std::string encode_code_page(const std::string& code_page, std::u16string_view text) {
  std::string out;
  UINT cp = code_page_number(code_page);
  if (!cp) {
    // Unknown code page: keep ASCII, replace the rest.
    for (char16_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
  }
  const auto* units = reinterpret_cast<const wchar_t*>(text.data());
  out.reserve(text.size() * 2);
  for (size_t k = 0; k < text.size();) {
    // ASCII runs the same in every code page the host uses.
    if (text[k] < 0x80) {
      out += static_cast<char>(text[k++]);
      continue;
    }
    int count = 1;
    if (text[k] >= 0xD800 && text[k] <= 0xDBFF && k + 1 < text.size() && text[k + 1] >= 0xDC00 && text[k + 1] <= 0xDFFF)
      count = 2;
    out += encode_one(cp, units + k, count);
    k += static_cast<size_t>(count);
  }
  return out;
}

std::u16string decode_code_page(const std::string& code_page, std::string_view bytes) {
  std::u16string out;
  UINT cp = code_page_number(code_page);
  if (!cp) {
    for (char c : bytes) out += static_cast<unsigned char>(c) < 0x80 ? static_cast<char16_t>(c) : u'\uFFFD';
    return out;
  }
  if (bytes.empty()) return out;
  // The whole text at once when it is valid.
  int n = ::MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  if (n > 0) {
    out.resize(static_cast<size_t>(n));
    ::MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()),
                          reinterpret_cast<wchar_t*>(out.data()), n);
    return out;
  }
  // Else character by character: the shortest valid sequence at each place, or one
  // replacement character per byte that starts none.
  out.reserve(bytes.size());
  for (size_t k = 0; k < bytes.size();) {
    wchar_t chars[4];
    int got = 0;
    size_t length = 1;
    for (; length <= 4 && k + length <= bytes.size(); ++length) {
      got = ::MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, bytes.data() + k, static_cast<int>(length), chars, 4);
      if (got > 0) break;
    }
    if (got > 0) {
      out.append(reinterpret_cast<const char16_t*>(chars), static_cast<size_t>(got));
      k += length;
    } else {
      out += u'\uFFFD';
      ++k;
    }
  }
  return out;
}

char16_t cp936_pair_to_utf16(unsigned char lead, unsigned char trail) {
  if (lead < 0x81 || lead > 0xFE || trail < 0x40) return 0;
  char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
  wchar_t result[2] = {};
  int n = ::MultiByteToWideChar(936, MB_ERR_INVALID_CHARS, pair, 2, result, 2);
  return n == 1 ? static_cast<char16_t>(result[0]) : 0;
}

char16_t to_lower(char16_t c) {
  if (c < 0x80) return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c;
  if (c >= 0xD800 && c <= 0xDFFF) return c;
  wchar_t in = static_cast<wchar_t>(c), out = in;
  if (::LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_LOWERCASE, &in, 1, &out, 1, nullptr, nullptr, 0) != 1) return c;
  return static_cast<char16_t>(out);
}

} // namespace kit::platform
