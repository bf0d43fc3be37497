// Looking for lines in what a program printed.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace testsupport {

inline bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// How often part stands in text (overlapping places counted).
inline size_t count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// The text with the CR of every CR LF line end taken out: Windows programs end their text
// lines so, and the tests compare lines.
template <class Char>
std::basic_string<Char> without_carriage_returns(std::basic_string_view<Char> text) {
  std::basic_string<Char> out;
  out.reserve(text.size());
  for (size_t k = 0; k < text.size(); ++k)
    if (!(text[k] == Char('\r') && k + 1 < text.size() && text[k + 1] == Char('\n'))) out += text[k];
  return out;
}
inline std::string without_carriage_returns(const std::string& text) {
  return without_carriage_returns(std::string_view(text));
}
inline std::u16string without_carriage_returns(const std::u16string& text) {
  return without_carriage_returns(std::u16string_view(text));
}

} // namespace testsupport
