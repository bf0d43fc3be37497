#include "host/command_switches.h"

namespace kit::host {

namespace {
bool is_blank(char16_t c) { return c == u' ' || c == u'\t'; }

// End of the program path: after its closing quote when quoted, else at the first blank.
size_t program_path_end(std::u16string_view s) {
  if (!s.empty() && s[0] == u'"') {
    size_t close = s.find(u'"', 1);
    return close == std::u16string_view::npos ? s.size() : close + 1;
  }
  size_t i = 0;
  while (i < s.size() && !is_blank(s[i])) ++i;
  return i;
}
} // namespace

switch_map parse_switches(std::u16string_view s) {
  switch_map out;
  const size_t n = s.size();
  const size_t program_end = program_path_end(s);
  size_t i = 0;
  while (i < n) {
    char16_t c = s[i];
    bool starts = (c == u'-' || (c == u'/' && i >= program_end)) && i + 1 < n;
    if (!starts) {
      ++i;
      continue;
    }
    size_t name_end = i + 1;
    while (name_end < n && !is_blank(s[name_end]) && s[name_end] != u':') ++name_end;
    std::u16string name(s.substr(i + 1, name_end - i - 1));
    std::u16string value;
    i = name_end;
    if (i < n && s[i] == u':') {
      ++i;
      if (i < n && s[i] == u'"') {
        size_t close = s.find(u'"', i + 1);
        size_t end = close == std::u16string_view::npos ? n : close;
        value.assign(s.substr(i + 1, end - i - 1));
        i = close == std::u16string_view::npos ? n : close + 1;
      } else {
        size_t end = i;
        while (end < n && !is_blank(s[end])) ++end;
        value.assign(s.substr(i, end - i));
        i = end;
      }
    }
    if (!name.empty()) out.emplace(std::move(name), std::move(value));
  }
  return out;
}

int32_t start_type_of(std::u16string_view v) {
  size_t i = 0;
  while (i < v.size() && (v[i] == u' ' || (v[i] >= u'\t' && v[i] <= u'\r'))) ++i;
  bool negative = false;
  if (i < v.size() && (v[i] == u'+' || v[i] == u'-')) negative = v[i++] == u'-';
  uint32_t value = 0;
  for (; i < v.size() && v[i] >= u'0' && v[i] <= u'9'; ++i) value = value * 10 + static_cast<uint32_t>(v[i] - u'0');
  if (negative) value = 0u - value;
  return static_cast<int32_t>(value & 0xFF);
}

} // namespace kit::host
