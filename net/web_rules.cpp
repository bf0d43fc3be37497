#include "net/web_rules.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <random>

#include "common/percent_encoding.h"

namespace kit::net::web {

namespace {

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool iequals(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (lower(a[i]) != lower(b[i])) return false;
  return true;
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// "NAME:PORT" where NAME is 127.0.0.1 or localhost and PORT is exactly ours.
bool authority_allowed(std::string_view authority, uint16_t port) {
  std::string expected_port = ":" + std::to_string(port);
  if (authority.size() <= expected_port.size()) return false;
  if (authority.substr(authority.size() - expected_port.size()) != expected_port) return false;
  std::string_view name = authority.substr(0, authority.size() - expected_port.size());
  return name == "127.0.0.1" || iequals(name, "localhost");
}

// Parses decimal digits only (no sign, no blanks); nothing on overflow or no digits.
std::optional<uint64_t> parse_u64(std::string_view s) {
  if (s.empty() || s.size() > 19) return std::nullopt;
  uint64_t v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + static_cast<uint64_t>(c - '0');
  }
  return v;
}

} // namespace

std::string random_token() {
  std::array<uint32_t, 4> words{};
  try {
    // The kernel's generator; libstdc++ names it by its device path.
    std::random_device device("/dev/urandom");
    for (uint32_t& w : words) w = device();
  } catch (...) {
    std::random_device device;
    for (uint32_t& w : words) w = device();
  }
  static const char digits[] = "0123456789abcdef";
  std::string out;
  out.reserve(32);
  for (uint32_t w : words)
    for (int shift = 28; shift >= 0; shift -= 4) out.push_back(digits[(w >> shift) & 0xF]);
  return out;
}

bool same_secret(std::string_view a, std::string_view b) {
  unsigned char diff = a.size() == b.size() ? 0 : 1;
  size_t n = std::max(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    unsigned char x = i < a.size() ? static_cast<unsigned char>(a[i]) : 0;
    unsigned char y = i < b.size() ? static_cast<unsigned char>(b[i]) : 0;
    diff |= static_cast<unsigned char>(x ^ y);
  }
  return diff == 0;
}

bool host_allowed(std::string_view host, uint16_t port) { return authority_allowed(host, port); }

bool origin_allowed(std::string_view origin, uint16_t port) {
  constexpr std::string_view scheme = "http://";
  if (origin.size() <= scheme.size() || !iequals(origin.substr(0, scheme.size()), scheme)) return false;
  return authority_allowed(origin.substr(scheme.size()), port);
}

std::string cookie_name(uint16_t port) { return "mobrevist-" + std::to_string(port); }

std::optional<std::string> cookie_value(std::string_view header, std::string_view name) {
  while (!header.empty()) {
    size_t semi = header.find(';');
    std::string_view pair = trim(header.substr(0, semi));
    header = semi == std::string_view::npos ? std::string_view{} : header.substr(semi + 1);
    size_t eq = pair.find('=');
    if (eq == std::string_view::npos) continue;
    if (trim(pair.substr(0, eq)) == name) return std::string(trim(pair.substr(eq + 1)));
  }
  return std::nullopt;
}

std::optional<std::string> query_value(std::string_view query, std::string_view name) {
  while (!query.empty()) {
    size_t amp = query.find('&');
    std::string_view pair = query.substr(0, amp);
    query = amp == std::string_view::npos ? std::string_view{} : query.substr(amp + 1);
    size_t eq = pair.find('=');
    std::string_view key = pair.substr(0, eq);
    if (key != name) continue;
    std::string raw(eq == std::string_view::npos ? std::string_view{} : pair.substr(eq + 1));
    std::replace(raw.begin(), raw.end(), '+', ' ');
    return kit::text::percent_decode(raw);
  }
  return std::nullopt;
}

target_parts split_target(std::string_view target) {
  size_t q = target.find('?');
  if (q == std::string_view::npos) return {target, {}};
  return {target.substr(0, q), target.substr(q + 1)};
}

std::optional<std::string> static_file_path(std::string_view url_path) {
  if (url_path.empty() || url_path.front() != '/') return std::nullopt;
  if (url_path == "/") return std::string("index.html");
  std::string decoded = kit::text::percent_decode(url_path.substr(1));
  std::string out;
  size_t start = 0;
  while (true) {
    size_t slash = decoded.find('/', start);
    std::string_view segment = std::string_view(decoded).substr(start, slash == std::string::npos ? std::string::npos : slash - start);
    if (segment.empty() || segment.front() == '.') return std::nullopt;
    for (char c : segment)
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F || c == '\\' || c == ':') return std::nullopt;
    if (!out.empty()) out.push_back('/');
    out.append(segment);
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
  return out;
}

std::string safe_file_name(std::string_view name) {
  size_t cut = name.find_last_of("/\\");
  if (cut != std::string_view::npos) name = name.substr(cut + 1);
  std::string out;
  for (char c : name) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F || c == ':' ) continue;
    out.push_back(c);
  }
  size_t dots = out.find_first_not_of('.');
  out.erase(0, dots == std::string::npos ? out.size() : dots);
  if (out.size() > 120) {
    size_t end = 120;
    while (end > 0 && (static_cast<unsigned char>(out[end]) & 0xC0) == 0x80) --end;
    out.resize(end);
  }
  return out.empty() ? std::string("file") : out;
}

std::string content_type_of(std::string_view file_name) {
  static const std::pair<std::string_view, std::string_view> types[] = {
      {"html", "text/html; charset=utf-8"}, {"htm", "text/html; charset=utf-8"},
      {"js", "text/javascript; charset=utf-8"}, {"mjs", "text/javascript; charset=utf-8"},
      {"css", "text/css; charset=utf-8"}, {"json", "application/json"},
      {"map", "application/json"}, {"txt", "text/plain; charset=utf-8"},
      {"csv", "text/csv; charset=utf-8"}, {"svg", "image/svg+xml"},
      {"png", "image/png"}, {"jpg", "image/jpeg"}, {"jpeg", "image/jpeg"},
      {"gif", "image/gif"}, {"webp", "image/webp"}, {"bmp", "image/bmp"},
      {"ico", "image/x-icon"}, {"woff2", "font/woff2"}, {"woff", "font/woff"},
      {"wasm", "application/wasm"}, {"pdf", "application/pdf"}, {"mp3", "audio/mpeg"},
      {"mp4", "video/mp4"}, {"webm", "video/webm"}, {"zip", "application/zip"},
      {"apk", "application/vnd.android.package-archive"},
  };
  size_t dot = file_name.find_last_of('.');
  size_t slash = file_name.find_last_of('/');
  if (dot != std::string_view::npos && (slash == std::string_view::npos || dot > slash)) {
    std::string_view ext = file_name.substr(dot + 1);
    for (const auto& [e, type] : types)
      if (iequals(ext, e)) return std::string(type);
  }
  return "application/octet-stream";
}

bool inline_type(std::string_view content_type) {
  // SVG is a document that can carry script: never shown inside the page.
  return content_type == "image/png" || content_type == "image/jpeg" || content_type == "image/gif" ||
         content_type == "image/webp" || content_type == "image/bmp";
}

range_result parse_range(std::string_view header, uint64_t size) {
  header = trim(header);
  constexpr std::string_view unit = "bytes=";
  if (header.size() <= unit.size() || !iequals(header.substr(0, unit.size()), unit)) return {};
  std::string_view spec = trim(header.substr(unit.size()));
  if (spec.find(',') != std::string_view::npos) return {};
  size_t dash = spec.find('-');
  if (dash == std::string_view::npos) return {};
  std::string_view a = trim(spec.substr(0, dash));
  std::string_view b = trim(spec.substr(dash + 1));
  if (a.empty()) {
    // "-N": the last N bytes.
    std::optional<uint64_t> n = parse_u64(b);
    if (!n) return {};
    if (*n == 0 || size == 0) return {range_kind::unsatisfiable, {}};
    uint64_t length = std::min(*n, size);
    return {range_kind::one, {size - length, length}};
  }
  std::optional<uint64_t> first = parse_u64(a);
  if (!first) return {};
  std::optional<uint64_t> last;
  if (!b.empty()) {
    last = parse_u64(b);
    if (!last || *last < *first) return {};
  }
  if (*first >= size) return {range_kind::unsatisfiable, {}};
  uint64_t end = last ? std::min(*last, size - 1) : size - 1;
  return {range_kind::one, {*first, end - *first + 1}};
}

bool etag_matches(std::string_view if_none_match, std::string_view etag) {
  while (!if_none_match.empty()) {
    size_t comma = if_none_match.find(',');
    std::string_view tag = trim(if_none_match.substr(0, comma));
    if_none_match = comma == std::string_view::npos ? std::string_view{} : if_none_match.substr(comma + 1);
    if (tag == "*") return true;
    if (tag.substr(0, 2) == "W/") tag.remove_prefix(2);
    if (!tag.empty() && tag == etag) return true;
  }
  return false;
}

} // namespace kit::net::web
