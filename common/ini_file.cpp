#include "common/ini_file.h"

#include <cstdint>
#include <fstream>
#include <vector>

#include "common/text_convert.h"
#include "platform/file.h"

namespace kit::ini {
namespace {

constexpr std::string_view kBlanks = " \t\r\n\v\f";

std::string_view trim(std::string_view s) {
  size_t b = s.find_first_not_of(kBlanks);
  if (b == std::string_view::npos) return {};
  size_t e = s.find_last_not_of(kBlanks);
  return s.substr(b, e - b + 1);
}

bool same_name(std::string_view a, std::string_view b) {
  std::u16string x = kit::text::utf8_to_utf16(trim(a)), y = kit::text::utf8_to_utf16(trim(b));
  if (x.size() != y.size()) return false;
  for (size_t i = 0; i < x.size(); ++i)
    if (kit::text::to_lower(x[i]) != kit::text::to_lower(y[i])) return false;
  return true;
}

// One line of the text: where it starts, its content without the line end, and where the
// next line starts.
struct line {
  size_t begin, content_end, next;
  std::string_view content;
};

std::vector<line> split_lines(std::string_view text) {
  std::vector<line> lines;
  size_t at = 0;
  while (at < text.size()) {
    size_t nl = text.find('\n', at);
    size_t next = nl == std::string_view::npos ? text.size() : nl + 1;
    size_t end = nl == std::string_view::npos ? text.size() : nl;
    if (end > at && text[end - 1] == '\r') --end;
    lines.push_back({at, end, next, text.substr(at, end - at)});
    at = next;
  }
  return lines;
}

// The section name of a "[name]" line.
std::optional<std::string_view> section_of(std::string_view content) {
  std::string_view t = trim(content);
  if (t.empty() || t.front() != '[') return std::nullopt;
  size_t close = t.find(']');
  if (close == std::string_view::npos) return t.substr(1);
  return t.substr(1, close - 1);
}

bool is_comment(std::string_view content) {
  std::string_view t = trim(content);
  return !t.empty() && t.front() == ';';
}

// The key of a "key=value" line, when the line is one.
std::optional<std::string_view> key_of(std::string_view content) {
  if (is_comment(content)) return std::nullopt;
  size_t eq = content.find('=');
  if (eq == std::string_view::npos) return std::nullopt;
  return content.substr(0, eq);
}

std::string_view value_of(std::string_view content) {
  std::string_view v = trim(content.substr(content.find('=') + 1));
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) v = v.substr(1, v.size() - 2);
  return v;
}

// The first section of that name: the index of its header line and one past its last line.
std::optional<std::pair<size_t, size_t>> find_section(const std::vector<line>& lines, std::string_view section) {
  for (size_t i = 0; i < lines.size(); ++i) {
    auto name = section_of(lines[i].content);
    if (!name || !same_name(*name, section)) continue;
    size_t end = i + 1;
    while (end < lines.size() && !section_of(lines[end].content)) ++end;
    return std::make_pair(i, end);
  }
  return std::nullopt;
}

std::string_view line_end_of(std::string_view text) {
  size_t nl = text.find('\n');
  if (nl != std::string_view::npos && (nl == 0 || text[nl - 1] != '\r')) return "\n";
  return "\r\n";
}

// The whole file, or nothing when it cannot be read or is larger than any profile file
// should be (a wrong path to a huge file must not fill the memory).
std::optional<std::string> read_file(const std::string& path) {
  constexpr std::streamoff kMaxProfileBytes = std::streamoff(16) << 20;
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) return std::nullopt;
  std::streamoff size = in.tellg();
  if (size < 0 || size > kMaxProfileBytes) return std::nullopt;
  std::string text(static_cast<size_t>(size), '\0');
  in.seekg(0);
  if (!in.read(text.data(), size)) return std::nullopt;
  return text;
}

} // namespace

std::optional<std::string> find_value(std::string_view text, std::string_view section, std::string_view key) {
  auto lines = split_lines(text);
  auto range = find_section(lines, section);
  if (!range) return std::nullopt;
  for (size_t i = range->first + 1; i < range->second; ++i) {
    auto k = key_of(lines[i].content);
    if (k && same_name(*k, key)) return std::string(value_of(lines[i].content));
  }
  return std::nullopt;
}

std::string with_value(std::string_view text, std::string_view section, std::string_view key, std::string_view value) {
  const std::string_view eol = line_end_of(text);
  const std::string entry = std::string(trim(key)) + "=" + std::string(value);
  auto lines = split_lines(text);
  std::string out;
  auto range = find_section(lines, section);
  if (!range) {
    out = std::string(text);
    if (!out.empty() && out.back() != '\n') out += eol;
    out += "[" + std::string(trim(section)) + "]" + std::string(eol) + entry + std::string(eol);
    return out;
  }
  for (size_t i = range->first + 1; i < range->second; ++i) {
    auto k = key_of(lines[i].content);
    if (!k || !same_name(*k, key)) continue;
    // The key keeps the spelling the file gives it.
    out = std::string(text.substr(0, lines[i].begin)) + std::string(trim(*k)) + "=" + std::string(value);
    out += text.substr(lines[i].content_end);
    return out;
  }
  // After the section's last line that is not blank, so blank separators stay below it.
  size_t last = range->first;
  for (size_t i = range->first + 1; i < range->second; ++i)
    if (!trim(lines[i].content).empty()) last = i;
  const line& after = lines[last];
  out = std::string(text.substr(0, after.next));
  if (after.next == after.content_end) out += eol;  // the last line had no line end
  out += entry + std::string(eol);
  out += text.substr(after.next);
  return out;
}


std::optional<std::string> read_value(const std::string& path, std::string_view section, std::string_view key) {
  std::optional<std::string> text = read_file(path);
  if (!text) return std::nullopt;
  return find_value(*text, section, key);
}

bool write_value(const std::string& path, std::string_view section, std::string_view key, std::string_view value) {
  std::string text;
  if (platform::path_info(path, false)) {
    std::optional<std::string> existing = read_file(path);
    if (!existing) return false;  // never replace a file that could not be read whole
    text = std::move(*existing);
  }
  std::string updated = with_value(text, section, key, value);
  // A new file beside the old one, renamed over it once it is on the disk whole: a full disk
  // or a crash leaves the old settings, never half of them.
  return platform::replace_file(path, updated);
}

int32_t parse_profile_int(std::string_view text) {
  std::string_view t = trim(text);
  bool negative = false;
  if (!t.empty() && (t.front() == '-' || t.front() == '+')) {
    negative = t.front() == '-';
    t.remove_prefix(1);
  }
  unsigned base = 10;
  if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
    base = 16;
    t.remove_prefix(2);
  }
  uint32_t n = 0;
  for (char c : t) {
    unsigned d;
    if (c >= '0' && c <= '9') d = static_cast<unsigned>(c - '0');
    else if (base == 16 && c >= 'a' && c <= 'f') d = static_cast<unsigned>(c - 'a' + 10);
    else if (base == 16 && c >= 'A' && c <= 'F') d = static_cast<unsigned>(c - 'A' + 10);
    else break;
    n = n * base + d;  // wraps like the 32-bit original
  }
  if (negative) n = 0u - n;
  return static_cast<int32_t>(n);
}

} // namespace kit::ini
