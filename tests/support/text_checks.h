// Looking for lines in what a program printed.
#pragma once
#include <cstddef>
#include <string>

namespace testsupport {

inline bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// How often part stands in text (overlapping places counted).
inline size_t count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

} // namespace testsupport
