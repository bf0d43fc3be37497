#include "app/app_help_text.h"

#include "common/text_convert.h"

namespace kit::app {

namespace {
// Level-1 characters are ordered by reading: the first area code of each initial.
struct threshold {
  int area;
  char letter;
};
constexpr threshold kLevel1[] = {
    {1601, 'A'}, {1637, 'B'}, {1833, 'C'}, {2078, 'D'}, {2274, 'E'}, {2302, 'F'}, {2433, 'G'}, {2594, 'H'},
    {2787, 'J'}, {3106, 'K'}, {3212, 'L'}, {3472, 'M'}, {3635, 'N'}, {3722, 'O'}, {3730, 'P'}, {3858, 'Q'},
    {4027, 'R'}, {4086, 'S'}, {4390, 'T'}, {4558, 'W'}, {4684, 'X'}, {4925, 'Y'}, {5249, 'Z'},
};

char level1_initial(int area) {
  char letter = 'A';
  for (const auto& t : kLevel1)
    if (t.area <= area) letter = t.letter;
  return letter;
}

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}
} // namespace

std::string convert_chinese_initials(std::string_view utf8) {
  std::string ansi = kit::text::utf16_to_ansi(kit::text::utf8_to_utf16(utf8));
  std::string out;
  out.reserve(ansi.size());
  size_t i = 0;
  while (i < ansi.size()) {
    unsigned b = static_cast<unsigned char>(ansi[i]);
    unsigned a = i + 1 < ansi.size() ? static_cast<unsigned char>(ansi[i + 1]) : 0;
    if (b < 0x81 || a == 0) {
      out += ansi[i++];
      continue;
    }
    // A lead byte always takes its trail byte along, so the trail byte of a character
    // outside GB2312 is never read as the lead byte of the next one.
    if (b > 160 && a > 160) {
      int area = static_cast<int>(b - 160) * 100 + static_cast<int>(a - 160);
      if (area >= 1601 && area <= 5589) {
        out += level1_initial(area);
        i += 2;
        continue;
      }
      int index = (static_cast<int>(b) - 0xD8) * 94 + (static_cast<int>(a) - 0xA1);
      if (index >= 0 && index <= 3007) {
        out += kLevel2Initials[index];
        i += 2;
        continue;
      }
    }
    out.append(ansi, i, 2);
    i += 2;
  }
  return kit::text::utf16_to_utf8(kit::text::ansi_to_utf16(out));
}

size_t cp936_byte_count(std::string_view utf8) {
  return kit::text::utf16_to_cp936(kit::text::utf8_to_utf16(utf8)).size();
}

std::string url_decode(std::string_view text) {
  text = text.substr(0, text.find('\0'));
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] != '%') {
      out += text[i++];
      continue;
    }
    int hi = i + 1 < text.size() ? hex_digit(text[i + 1]) : -1;
    int lo = i + 2 < text.size() ? hex_digit(text[i + 2]) : -1;
    if (hi < 0 || lo < 0) {
      // Not an escape: the "%" and up to two characters after it stay as they are.
      size_t keep = text.size() - i < 3 ? text.size() - i : 3;
      out.append(text.substr(i, keep));
      i += keep;
      continue;
    }
    char byte = static_cast<char>(hi * 16 + lo);
    if (byte != '\0') out += byte;
    i += 3;
  }
  return out;
}

} // namespace kit::app
